#include <gtest/gtest.h>

#include "tests/parmdump/samples.h"

using test::ParameterSector;
using test::run_parmdump;
using test::TempDir;
using test::write_file;

namespace {

// The HALVOR block (its lines after the title) of the report on one parameter sector.
std::vector<std::string> halvor_lines(const ParameterSector& sector) {
    TempDir dir;
    write_file(dir.file("data"), test::host_file({sector.bytes()}));
    std::string out = run_parmdump({dir.file("data")}).out;
    std::size_t start = out.find("    HALVOR PARAMETERS\n\n");
    if (start == std::string::npos) return {};
    std::vector<std::string> lines = test::lines_of(out.substr(start));
    return {lines.begin() + 2, lines.begin() + std::min<std::size_t>(lines.size(), 8)};
}

// The lines of the second-sector block, from its title on.
std::string second_sector_block(const std::string& out) {
    std::size_t start = out.find("\n    TORGIL PARAMETERS");
    return start == std::string::npos ? "" : out.substr(start + 1);
}

ParameterSector fendar() {
    return ParameterSector().word(11, 8).real(77, 400.0).real(98, 399.0).real(53, 4000.0).real(57, 100.0);
}

ParameterSector torgil(std::int64_t n) {
    return ParameterSector().word(11, 30).word(117, n).name(127, "LIST").word(126, 0);
}

// A second parameter sector whose D0 is `d0` (stored in units of 1e-8).
std::vector<std::uint8_t> second_sector(double d0) {
    return ParameterSector(false).real(40, d0 * 1e8).bytes();
}

} // namespace

TEST(Halvor, FendarFallsBackToSf0) {
    // F(100) = 0: BF2 is SF0, and SFO2 adds O2 to it.
    std::vector<std::string> lines = halvor_lines(fendar().real(59, -1000.0));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "BF1=     400.0000000    BF2=     399.0000000");
    EXPECT_EQ(lines[1], "SFO1=    400.0001000    SFO2=    398.9990000");
    // SR = 0: OFFSET is O1 + SW / 2 in Hz, divided by SF for ppm.
    EXPECT_EQ(lines[4], "OFFSET=        5.250 ppm             2100.00 Hz");

    // SR * 1e-6 not below SF: BF1 is SF0 as well.
    lines = halvor_lines(fendar().real(159, 400e6).real(100, 100.0));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "BF1=     399.0000000    BF2=     100.0000000");
    EXPECT_EQ(lines[2], "SW=           10.025    SWH=         4000.00");
}

TEST(Halvor, TorgilWithoutReferenceDividesBySf) {
    std::vector<std::string> lines =
        halvor_lines(torgil(-2).real(77, 250.0).real(53, 1000.0).real(57, 500.0).real(181, 125.0));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "BF1=     250.0000000    SFO1=    250.0005000");
    EXPECT_EQ(lines[3], "OFFSET=        4.000 ppm             1000.00 Hz");
    EXPECT_EQ(lines[4], "OF=            0.500 ppm              125.00 Hz");
    EXPECT_EQ(lines[5], "");
}

TEST(SecondSector, FromTheDataFileBesideAParameterFile) {
    TempDir dir;
    std::vector<std::uint8_t> data_sector(test::SECTOR, 0x21);
    std::vector<std::uint8_t> data = test::host_file({data_sector, data_sector, second_sector(0.5)});
    write_file(dir.file("data"), data);
    write_file(dir.file("p_data"), test::host_file({torgil(2).bytes()}));
    test::RunResult result = run_parmdump({"data"}, "", dir.path());
    EXPECT_EQ(result.status, 0);
    std::vector<std::string> lines = test::lines_of(second_sector_block(result.out));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "    TORGIL PARAMETERS from sector 2");
    EXPECT_EQ(lines[1], "LIST=D1");
    EXPECT_EQ(lines[4], "D0=        0.5000000    D1=        0.0000000");

    // The data file is named without the prefix, in either case of the "p".
    std::rename(dir.file("p_data").c_str(), dir.file("P_data").c_str());
    lines = test::lines_of(second_sector_block(run_parmdump({dir.file("data")}).out));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[4], "D0=        0.5000000    D1=        0.0000000");

    // Without the data file the sector is not available.
    write_file(dir.file("data"), {0x01, 0x02, 0x03, 0x04});
    result = run_parmdump({dir.file("P_data")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(second_sector_block(result.out), "    TORGIL PARAMETERS in sector 2 not available\n");
}

TEST(SecondSector, SectorNumbersAroundTheParameterSector) {
    TempDir dir;
    auto block_of = [&dir](std::int64_t n, std::size_t sectors) {
        std::vector<std::vector<std::uint8_t>> file{torgil(n).bytes()};
        for (std::size_t i = 1; i < sectors; ++i)
            file.push_back(second_sector(0.25 * static_cast<double>(i)));
        write_file(dir.file("single"), test::host_file(file));
        return second_sector_block(run_parmdump({dir.file("single")}).out);
    };
    // Sector n + 1 of a single file; the title shows n.
    EXPECT_EQ(test::lines_of(block_of(1, 3)).at(4), "D0=        0.5000000    D1=        0.0000000");
    // -1 reads the parameter sector itself.
    EXPECT_EQ(test::lines_of(block_of(-1, 1)).at(0), "    TORGIL PARAMETERS from sector -1");
    EXPECT_EQ(block_of(-2, 3), "    TORGIL PARAMETERS in sector -2 not available\n");
    // Past the end, and no parameter-file prefix to fall back on.
    EXPECT_EQ(block_of(2, 3), "    TORGIL PARAMETERS in sector 2 not available\n");
    EXPECT_EQ(block_of(8388607, 1), "    TORGIL PARAMETERS in sector 8388607 not available\n");
}
