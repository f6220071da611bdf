#include <gtest/gtest.h>

#include "parmdump/report.h"
#include "tests/parmdump/samples.h"

using test::ParameterSector;
using test::TempDir;

namespace {

// Runs parmdump on a packed single file of these sectors and returns its output.
test::RunResult run_on(const std::vector<std::vector<std::uint8_t>>& sectors) {
    TempDir dir;
    std::string path = dir.file("data");
    test::write_file(path, test::host_file(sectors));
    return test::run_parmdump({path});
}

// Line n (from 0) of the output for a single parameter sector.
std::string line_of(const ParameterSector& sector, std::size_t n) {
    test::RunResult result = run_on({sector.bytes()});
    std::vector<std::string> lines = test::lines_of(result.out);
    return n < lines.size() ? lines[n] : "(no line " + std::to_string(n) + ")";
}

// FENDAR data with every other word zero.
ParameterSector fendar() {
    return ParameterSector().word(11, 8);
}

constexpr std::size_t FIRST_HEADER_LINE = 2;
constexpr std::size_t SECOND_HEADER_LINE = 3;
constexpr std::size_t DATE_LINE = 5;

std::string line_starting(const std::string& output, const std::string& start) {
    for (const std::string& line : test::lines_of(output)) {
        if (line.rfind(start, 0) == 0) return line;
    }
    return "(no line " + start + ")";
}

} // namespace

TEST(Report, FendarFileLineByLine) {
    test::RunResult result = run_on({test::fendar_sector().bytes()});
    EXPECT_EQ(result.status, 0);
    test::expect_lines(result.out, test::FENDAR_REPORT);
}

TEST(Report, TorgilFileWithItsSecondSectorLineByLine) {
    test::RunResult result = run_on(test::torgil_sectors());
    EXPECT_EQ(result.status, 0);
    test::expect_lines(result.out, test::TORGIL_REPORT);
}

TEST(Header, ScaleSizeAndLetters) {
    EXPECT_EQ(line_of(fendar(), FIRST_HEADER_LINE), " SCALE=1/2 SI=0 'A 8!0 01.Jan.70 $");
    EXPECT_EQ(line_of(fendar().word(144, 1 << 10).word(5, 2048), FIRST_HEADER_LINE),
              " SCALE=1 SI=2 'A 8!0 01.Jan.70 $");
    EXPECT_EQ(line_of(fendar().word(5, -8).word(11, 8 | 127 << 8 | 3 << 19), FIRST_HEADER_LINE),
              " SCALE=1/2 SI=2 'A 8!127 01.Jan.70 $");
    // The largest size in sectors is counted without overflow.
    EXPECT_EQ(line_of(fendar().word(5, -8388608), FIRST_HEADER_LINE),
              " SCALE=1/2 SI=2097152 'A 8!0 01.Jan.70 $");
    EXPECT_EQ(
        line_of(fendar().word(144, 31 << 10).word(11, 8 | 1 << 19 | 1 << 15 | 1 << 18), FIRST_HEADER_LINE),
        " SCALE=1.07374e+09 SI=0 'IXT 8!0 01.Jan.70 $");
}

TEST(Header, FlagsOfTheSecondLine) {
    EXPECT_EQ(line_of(fendar(), SECOND_HEADER_LINE), "0/0 0L QF CP F PR=0 ZE");
    EXPECT_EQ(line_of(fendar().word(79, 1).word(84, 1).word(86, 1), SECOND_HEADER_LINE),
              "0/0 0L QN AP F PR=0 ZG");
    // PK needs bit 0 as well as bit 10; LB shows with bit 3 even when its value is 0.
    EXPECT_EQ(line_of(fendar().word(86, 1 << 10 | 1 << 3), SECOND_HEADER_LINE),
              "0/0 0L QF CP F PR=0 ZE LB=0");
    EXPECT_EQ(line_of(fendar().word(86, 1 << 11 | 1 << 5 | 1 << 7), SECOND_HEADER_LINE),
              "0/0 0L SIM CP F PR=0 AU ");
    // Without an optional pair (S(56) not above 0) the second number NE is not shown.
    EXPECT_EQ(line_of(fendar().word(56, -1).word(222, 9).word(81, 63), SECOND_HEADER_LINE),
              "0/0 63L QF CP F PR=0 ZE");
    // TORGIL shows no PR code.
    EXPECT_EQ(line_of(ParameterSector().word(11, 30).word(87, 2).word(117, -2), SECOND_HEADER_LINE),
              "0/0 0L QF CP F ZE");
}

TEST(Header, ProcessingCode) {
    EXPECT_EQ(parmdump::processing_code(0), "0");
    EXPECT_EQ(parmdump::processing_code(2), "11");
    EXPECT_EQ(parmdump::processing_code(0x26), "3");
    EXPECT_EQ(parmdump::processing_code(0x68), "L4");
}

TEST(Header, DatesOfZeroShowTheEpoch) {
    EXPECT_EQ(line_of(fendar(), DATE_LINE), "Thu Jan  1 00:00:00 1970");
    // A header date that would not fit its 9 characters is left out rather than cut.
    EXPECT_EQ(parmdump::format_date(0, "%d.%b.%y", 10), "01.Jan.70");
    EXPECT_EQ(parmdump::format_date(0, "%d.%B.%y", 10), "");
}

TEST(Acquisition, GainCodeAndZeroSize) {
    EXPECT_EQ(parmdump::gain_code(0), 1);
    EXPECT_EQ(parmdump::gain_code(0xFF), 409600);
    EXPECT_EQ(parmdump::gain_code(0x100), 1);
    // SI = 0: HZ/PT is printed as printf prints an infinite value.
    test::RunResult result = run_on({fendar().real(53, 5000.0).bytes()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(line_starting(result.out, "HZ/PT="), "HZ/PT=           inf    DR=                0");
}

TEST(Plotting, MiAndItsFallbacks) {
    auto mi = [](const ParameterSector& sector) {
        return line_starting(run_on({sector.bytes()}).out, "MI=");
    };
    // CY = 0 and numerator 0: MAXY / 256.
    EXPECT_EQ(mi(fendar().real(224, 512.0)), "MI=             2.00    ISEN=              0");
    // CY = 0: the scale factor (here 4) times the numerator times 100 / 2^24.
    EXPECT_EQ(mi(fendar().word(144, 3 << 10).word(168, 41943).word(169, 1)),
              "MI=             1.00P   ISEN=              0");
    // CY set and the divisor word 0: CY times the numerator.
    EXPECT_EQ(mi(fendar().real(202, 2.5).word(168, -4)), "MI=           -10.00    ISEN=              0");
}

TEST(Automation, TorgilHasNoPOrDLines) {
    test::RunResult result = run_on({ParameterSector().word(11, 30).word(117, -2).bytes()});
    EXPECT_EQ(result.out.find("\nP0="), std::string::npos);
    EXPECT_EQ(result.out.find("\nD0="), std::string::npos);
    EXPECT_EQ(line_starting(result.out, "S1="), "S1=  0L    S2=  0L    S3=  0L    S4=  0L    S5=  0L");
}
