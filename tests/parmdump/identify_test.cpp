#include <gtest/gtest.h>
#include <sys/stat.h>

#include "parmdump/identify.h"
#include "tests/parmdump/samples.h"

using test::HostForm;
using test::ParameterSector;
using test::run_parmdump;
using test::TempDir;
using test::write_file;

namespace {

// The report text with a word added to the end of its first header line.
std::string with_header_suffix(std::string report, const std::string& suffix) {
    std::size_t header = report.find('\n', report.find("\n\n") + 2);
    return report.insert(header, suffix);
}

} // namespace

TEST(Identification, FirstFourBytes) {
    auto classify = [](std::initializer_list<kavolt::Byte> bytes) {
        parmdump::Identification id = parmdump::classify(std::data(bytes));
        return std::string(id.recognised ? "yes" : "no") + (id.expanded ? " expanded" : " packed");
    };
    EXPECT_EQ(classify({0x47, 0x84, 0xF5, 0x00}), "yes packed");
    EXPECT_EQ(classify({0x47, 0x84, 0xF5, 0xFE}), "yes packed");
    EXPECT_EQ(classify({0x47, 0x84, 0xF5, 0xFF}), "yes expanded");
    EXPECT_EQ(classify({0xF5, 0x84, 0x47, 0x00}), "yes expanded");
    EXPECT_EQ(classify({0xF5, 0x84, 0x47, 0x01}), "yes packed");
    EXPECT_EQ(classify({0x47, 0x84, 0xF4, 0xFF}), "no packed");
    EXPECT_EQ(classify({0x00, 0x47, 0x84, 0xF5}), "no packed");
}

TEST(Identification, EveryHostFormGivesTheSameReport) {
    struct Case {
        HostForm form;
        const char* suffix;
    } cases[] = {{{false, false}, ""},
                 {{false, true}, " SWAPPED"},
                 {{true, false}, " EXPANDED"},
                 {{true, true}, " EXPANDED SWAPPED"}};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix);
        write_file(dir.file("fendar"), test::host_file({test::fendar_sector().bytes()}, c.form));
        test::RunResult fendar = run_parmdump({dir.file("fendar")});
        EXPECT_EQ(fendar.status, 0);
        test::expect_lines(fendar.out, with_header_suffix(test::FENDAR_REPORT, c.suffix));
        // The second TORGIL sector is read in the same form and byte order.
        write_file(dir.file("torgil"), test::host_file(test::torgil_sectors(), c.form));
        test::RunResult torgil = run_parmdump({dir.file("torgil")});
        EXPECT_EQ(torgil.status, 0);
        test::expect_lines(torgil.out, with_header_suffix(test::TORGIL_REPORT, c.suffix));
    }
}

TEST(Identification, AcceptsAFileImageAsVeltoolWritesIt) {
    test::FileSpec file_spec;
    file_spec.name = "PROG";
    file_spec.ext = "FID";
    file_spec.tag = "TG";
    file_spec.words = 2048;
    file_spec.attributes = test::REGULAR | 8;
    file_spec.date = test::bcd3(24, 12, 99);
    file_spec.comment = "FROM THE DISK";
    std::vector<std::uint8_t> file = test::directory_sector(file_spec, 300);
    file.resize(file.size() + 3 * 2048, 0x11);
    TempDir dir;
    write_file(dir.file("PROG.FID"), file);
    std::vector<std::string> lines = test::lines_of(run_parmdump({dir.file("PROG.FID")}).out);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "FENDAR DATA");
    EXPECT_EQ(lines[2], "PROG.FID SCALE=1/2 SI=2 'A 8!0 24.Dec.99 $TG");
    EXPECT_EQ(lines[4], "FROM THE DISK");
}

TEST(ParameterFile, TakenFromBesideTheDataFile) {
    TempDir dir;
    std::vector<std::uint8_t> data(4 * test::SECTOR, 0x33);
    write_file(dir.file("data"), data);
    write_file(dir.file("p_data"), test::host_file({test::fendar_sector().bytes()}));
    test::RunResult result = run_parmdump({"data"}, "", dir.path());
    EXPECT_EQ(result.status, 0);
    test::expect_lines(result.out, test::FENDAR_REPORT);

    // A P_ file is the second choice, and its form counts, not that of the data file.
    write_file(dir.file("p_data"), data);
    write_file(dir.file("P_data"), test::host_file({test::fendar_sector().bytes()}, {true, false}));
    result = run_parmdump({dir.file("data")});
    test::expect_lines(result.out, with_header_suffix(test::FENDAR_REPORT, " EXPANDED"));

    // Names are composed with the directory, "." when the argument has none.
    write_file(dir.file("P_data"), {0x47, 0x84, 0xF5, 0x00, 0x00});
    EXPECT_EQ(run_parmdump({"data"}, "", dir.path()).out, "Cannot read ./P_data: file too short\n");
    EXPECT_EQ(run_parmdump({dir.file("data")}).out,
              "Cannot read " + dir.file("P_data") + ": file too short\n");

    // Neither is recognised: the data file itself is read.
    write_file(dir.file("P_data"), data);
    result = run_parmdump({"data"}, "", dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Illegal parameter sector in data\n");
}

TEST(Failures, MessagesAndStatus) {
    TempDir dir;
    auto run = [](const std::string& path) {
        test::RunResult result = run_parmdump({path});
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_EQ(result.err, "") << path;
        return result.out;
    };
    EXPECT_EQ(run(dir.file("missing")),
              "Cannot open " + dir.file("missing") + ": No such file or directory\n");
    std::string long_name = dir.file(std::string(5000, 'n'));
    EXPECT_EQ(run(long_name), "Cannot open " + long_name + ": File name too long\n");
    write_file(dir.file("empty"), {});
    EXPECT_EQ(run(dir.file("empty")),
              "Cannot read file identification word of " + dir.file("empty") + ": file too short\n");
    EXPECT_EQ(run(dir.path()),
              "Cannot read file identification word of " + dir.path() + ": Is a directory\n");

    std::vector<std::uint8_t> packed = test::host_file({test::fendar_sector().bytes()});
    write_file(dir.file("short"), std::vector<std::uint8_t>(packed.begin(), packed.end() - 1));
    EXPECT_EQ(run(dir.file("short")), "Cannot read " + dir.file("short") + ": file too short\n");
    // Announced as expanded, but only a packed sector long.
    std::vector<std::uint8_t> expanded = test::host_file({test::fendar_sector().bytes()}, {true, false});
    expanded.resize(test::SECTOR);
    write_file(dir.file("expanded"), expanded);
    EXPECT_EQ(run(dir.file("expanded")), "Cannot read " + dir.file("expanded") + ": file too short\n");
    write_file(dir.file("other"), std::vector<std::uint8_t>(test::SECTOR, 0x47));
    EXPECT_EQ(run(dir.file("other")), "Illegal parameter sector in " + dir.file("other") + "\n");
}

TEST(Failures, UsageShowsTheProgramNameAsGiven) {
    test::RunResult result = run_parmdump({}, "some/where/pd");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Usage: some/where/pd filename\n");
}

TEST(Kind, UnknownDataIsReadAsTheProgramNameSays) {
    TempDir dir;
    write_file(dir.file("unknown"), test::host_file({ParameterSector().word(11, 9).word(117, -2).bytes()}));
    auto first_line = [&dir](const std::string& program) {
        test::RunResult result = run_parmdump({dir.file("unknown")}, program);
        EXPECT_EQ(result.status, 0);
        return result.out.substr(0, result.out.find('\n'));
    };
    EXPECT_EQ(run_parmdump({dir.file("unknown")}, "parmdump").out, "Unknown data\n");
    EXPECT_EQ(first_line("FenGil"), "Unknown data");
    EXPECT_EQ(first_line("bin/fendump"), "Unknown data interpreted as FENDAR");
    EXPECT_EQ(first_line("DARK"), "Unknown data interpreted as FENDAR");
    EXPECT_EQ(first_line("TORGIL"), "Unknown data interpreted as TORGIL");
    // Only the name after the last "/" counts.
    EXPECT_EQ(first_line("/opt/gil.fen/parmdump"), "Unknown data");

    test::RunResult both = run_parmdump({dir.file("unknown")}, "fengil");
    EXPECT_EQ(both.out.substr(0, both.out.find('\n')),
              "Unknown data interpreted as FENDAR interpreted as TORGIL");
    std::size_t fendar_sf = both.out.find("\nSF=        0.0000000\n");
    std::size_t torgil_sf = both.out.find("\nSF=        0.0000000    SY=");
    EXPECT_NE(fendar_sf, std::string::npos);
    EXPECT_NE(torgil_sf, std::string::npos);
    EXPECT_LT(fendar_sf, torgil_sf);
    EXPECT_NE(both.out.find("TORGIL PARAMETERS in sector -2 not available"), std::string::npos);

    // Known data is never reinterpreted.
    write_file(dir.file("fendar"), test::host_file({ParameterSector().word(11, 8).bytes()}));
    std::string known = run_parmdump({dir.file("fendar")}, "torgil").out;
    EXPECT_EQ(known.substr(0, 12), "FENDAR DATA\n");
    EXPECT_EQ(known.find("TORGIL"), std::string::npos);
}
