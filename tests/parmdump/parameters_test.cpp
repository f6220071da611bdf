// The parameter report through the library: its text is what parmdump prints, its records
// are the "NAME=value" of that text in order, from a path or from bytes. (Its errors:
// parmdump_test.cpp.)
#include <gtest/gtest.h>
#include <set>

#include "tests/support/disk.h"
#include "veltra/parameters.h"

using namespace test;

namespace {

std::string describe(const veltra::Parameter& p) {
    return p.name + "=" + p.value + "|" + p.unit + "|" + p.block + "|" + p.kind;
}

// Checks that the records are the text's parameters: each record's name, "=", padding,
// value and unit stand in the text after the previous record, under the record's block
// heading and in the report of its kind, and no "=" of the text is left without a record.
void expect_records_follow_text(const veltra::ParameterReport& report) {
    const std::string& text = report.text;
    std::size_t place = 0, equals = 0;
    for (const veltra::Parameter& p : report.parameters) {
        SCOPED_TRACE(describe(p));
        // The Hz value of OFFSET and OF follows its ppm value without a name of its own.
        std::string start = p.unit == "Hz" ? "" : p.name + "=";
        std::size_t found = text.find(start, place);
        ASSERT_NE(found, std::string::npos);
        std::size_t value = text.find_first_not_of(' ', found + start.size());
        std::string printed = p.value + (p.unit.empty() ? "" : " " + p.unit);
        EXPECT_EQ(text.substr(value, printed.size()), printed);
        place = value + printed.size();
        equals += !start.empty();

        std::size_t heading = text.rfind("\n    ", found), report_start = text.rfind(" SCALE=", found);
        std::string block;
        if (heading != std::string::npos && (report_start == std::string::npos || heading > report_start))
            block = text.substr(heading + 5, text.find('\n', heading + 1) - heading - 5);
        EXPECT_EQ(p.block, block);
        bool second_report = report_start != text.find(" SCALE=");
        EXPECT_EQ(p.kind, second_report || text.starts_with("TORGIL") ? "TORGIL" : "FENDAR");
    }
    EXPECT_EQ(equals, static_cast<std::size_t>(std::count(text.begin(), text.end(), '=')));
}

} // namespace

TEST(Parameters, RecordsAreTheTextsParameters) {
    ParameterSector unknown = fendar_sector().word(11, 9).word(117, -2).name(127, "LIST");
    struct Case {
        Bytes file;
        std::string argv0;
        std::size_t records;
    } cases[] = {
        {host_file({fendar_sector().bytes()}), "parmdump", 93},
        {host_file({fendar_sector().bytes()}, {true, true}), "parmdump", 93},
        {host_file(torgil_sectors()), "parmdump", 123},
        {host_file({unknown.bytes()}), "fengil", 159},
        {host_file({unknown.bytes()}), "pd", 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_file(dir.file("data"), c.file);
        veltra::ParameterReport report =
            veltra::parameters(dir.file("data"), veltra::unknown_data_for_program(c.argv0));
        RunResult printed = run_program(PARMDUMP_PATH, {dir.file("data")}, c.argv0);
        EXPECT_EQ(outcome(printed), "0|" + report.text + "|");
        EXPECT_EQ(report.parameters.size(), c.records);
        expect_records_follow_text(report);
        // From bytes: the same report.
        veltra::ParameterReport from_bytes =
            veltra::parameters(c.file, dir.file("data"), veltra::unknown_data_for_program(c.argv0));
        EXPECT_EQ(from_bytes.text, report.text);
        EXPECT_EQ(from_bytes.parameters.size(), report.parameters.size());
    }
}

TEST(Parameters, SingleRecords) {
    // clang-format off
    const std::pair<Bytes, std::vector<std::string>> files[] = {
        {host_file({fendar_sector().bytes()}), {"SCALE=4|||FENDAR", "LB=0.5|||FENDAR", "PR=11|||FENDAR",
            "TD=16384||ACQUISITION PARAMETERS|FENDAR", "HZ/PT=1.221||ACQUISITION PARAMETERS|FENDAR",
            "MI=150.00N||PLOTTING PARAMETERS|FENDAR", "S9=63H||AUTOMATION PARAMETERS|FENDAR",
            "OFFSET=3250.00|Hz|HALVOR PARAMETERS|FENDAR"}},
        {host_file(torgil_sectors()), {"SCALE=1/2|||TORGIL", "OFFSET=8.000|ppm|HALVOR PARAMETERS|TORGIL",
            "OF=-250.00|Hz|HALVOR PARAMETERS|TORGIL", "VDLIST=D5||TORGIL PARAMETERS from sector 3|TORGIL",
            "C15=8388607||TORGIL PARAMETERS from sector 3|TORGIL",
            "K7=-3.5000000||TORGIL PARAMETERS from sector 3|TORGIL"}},
    };
    // clang-format on
    for (const auto& [file, expected] : files) {
        std::set<std::string> records;
        for (const veltra::Parameter& p : veltra::parameters(file, "data").parameters)
            records.insert(describe(p));
        for (const std::string& record : expected)
            EXPECT_TRUE(records.contains(record)) << record;
    }
}

TEST(Parameters, ParameterFileFromBytes) {
    Bytes data(4 * SECTOR, 0x33), fendar = host_file({fendar_sector().bytes()});
    EXPECT_EQ(veltra::parameters(data, "dir/data", {}, fendar).text, veltra::parameters(fendar).text);
    // The second TORGIL sector comes from the data bytes when the parameter file has none.
    Bytes second = host_file({Bytes(SECTOR), Bytes(SECTOR), torgil_second_sector().bytes()});
    veltra::ParameterReport report =
        veltra::parameters(second, "data", {}, host_file({torgil_sector().word(117, 2).bytes()}));
    EXPECT_NE(report.text.find("    TORGIL PARAMETERS from sector 2\n"), std::string::npos);
}
