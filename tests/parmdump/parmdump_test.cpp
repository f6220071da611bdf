// parmdump end to end: whole reports of both kinds in every host form, single lines of
// damaged or sparse parameter sectors, the parameter file beside the data file, failures (and
// the library's errors for them). Then the report through the library: its text is what
// parmdump prints, its records are the "NAME=value" of that text in order, from a path or from
// bytes.
#include <cerrno>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

#include "tests/support/disk.h"
#include "veltra/parameters.h"

using namespace test;

namespace {

// Digests of the whole reports; SingleLines and the cases below spell out single lines.
const std::string FENDAR_REPORT = "d547755d149f33b0", TORGIL_REPORT = "6638223327a53ce5";

RunResult run_parmdump(const std::vector<std::string>& arguments, const std::string& argv0 = "",
                       const std::string& cwd = "") {
    return run_program(PARMDUMP_PATH, arguments, argv0, cwd);
}

// The report on a host file of these sectors, run under the program name argv0.
RunResult report(const std::vector<Bytes>& sectors, HostForm form = {}, const std::string& argv0 = "") {
    TempDir dir;
    write_file(dir.file("data"), host_file(sectors, form));
    return run_parmdump({dir.file("data")}, argv0);
}

// The first line of a text that starts with `start`.
std::string line_starting(const std::string& text, const std::string& start) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(start)) return line;
    return "(no line " + start + ")";
}

// The report text with a word added to the end of its first header line.
std::string with_header_suffix(std::string report, const std::string& suffix) {
    std::size_t header = report.find('\n', report.find("\n\n") + 2);
    return report.insert(header, suffix);
}

ParameterSector fendar() {
    return ParameterSector().word(11, 8);
}
ParameterSector torgil(std::int64_t n = -2) {
    return ParameterSector().word(11, 30).word(117, n).name(127, "LIST");
}

} // namespace

TEST(Parmdump, WholeReportsInEveryHostForm) {
    for (auto [form, suffix] : {std::pair{HostForm{false, false}, ""},
                                {HostForm{false, true}, " SWAPPED"},
                                {HostForm{true, false}, " EXPANDED"},
                                {HostForm{true, true}, " EXPANDED SWAPPED"}}) {
        SCOPED_TRACE(suffix);
        // The second TORGIL sector is read in the same form and byte order.
        for (auto [sectors, expected] :
             {std::pair{std::vector<Bytes>{fendar_sector().bytes()}, FENDAR_REPORT},
              {torgil_sectors(), TORGIL_REPORT}}) {
            RunResult r = report(sectors, form), plain = report(sectors);
            EXPECT_EQ(outcome(r), "0|" + with_header_suffix(plain.out, suffix) + "|");
            EXPECT_EQ(digest(plain.out), expected);
        }
    }
}

TEST(Parmdump, SingleLines) {
    struct Case {
        ParameterSector sector;
        std::string start, line;
        std::string argv0 = "";
    } cases[] = {
        {fendar().word(144, 1 << 10).word(5, 2048), " SCALE", " SCALE=1 SI=2 'A 8!0 01.Jan.70 $"},
        {fendar().word(5, -8).word(11, 8 | 127 << 8 | 3 << 19), " SCALE",
         " SCALE=1/2 SI=2 'A 8!127 01.Jan.70 $"},
        {fendar().word(5, -8388608), " SCALE", " SCALE=1/2 SI=2097152 'A 8!0 01.Jan.70 $"},
        {fendar().word(144, 31 << 10).word(11, 8 | 1 << 19 | 1 << 15 | 1 << 18), " SCALE",
         " SCALE=1.07374e+09 SI=0 'IXT 8!0 01.Jan.70 $"},
        {fendar().word(79, 1).word(84, 1).word(86, 1), "0/0", "0/0 0L QN AP F PR=0 ZG"},
        {fendar().word(86, 1 << 10 | 1 << 3), "0/0", "0/0 0L QF CP F PR=0 ZE LB=0"},
        {fendar().word(86, 1 << 11 | 1 << 5 | 1 << 7), "0/0", "0/0 0L SIM CP F PR=0 AU "},
        {fendar().word(56, -1).word(222, 9).word(81, 63), "0/0", "0/0 63L QF CP F PR=0 ZE"},
        {fendar().word(87, 0x68), "0/0", "0/0 0L QF CP F PR=L4 ZE"},
        {torgil().word(87, 2), "0/0", "0/0 0L QF CP F ZE"},
        {fendar().word(88, 0xFF), "NC=", "NC=                0    RG=           409600"},
        {fendar().real(53, 5000.0), "HZ/PT=", "HZ/PT=           inf    DR=                0"},
        // MI: MAXY / 256; the scale factor times the numerator times 100 / 2^24; CY times it.
        {fendar().real(224, 512.0), "MI=", "MI=             2.00    ISEN=              0"},
        {fendar().word(144, 3 << 10).word(168, 41943).word(169, 1),
         "MI=", "MI=             1.00P   ISEN=              0"},
        {fendar().real(202, 2.5).word(168, -4), "MI=", "MI=           -10.00    ISEN=              0"},
        {fendar().comment(std::string(71, 'c')).word(39, 0xE3E3E3), "ccc", std::string(71, 'c')},
        {torgil().word(86, 1 << 7).name(113, "AUPROG"), "0/0", "0/0 0L QF CP F AU AUPROG"},
        {torgil().real(214, 2.5), "GB=", "GB=            2.500    TM2=               0"},
        {torgil(), "S1=", "S1=  0L    S2=  0L    S3=  0L    S4=  0L    S5=  0L"},
        {torgil(), "P0=", "(no line P0=)"},
        // HALVOR: BF2 falls back to SF0, BF1 too when SR * 1e-6 is not below SF.
        {fendar().real(77, 400.0).real(98, 399.0).real(59, -1000.0),
         "SFO1=", "SFO1=    400.0000000    SFO2=    398.9990000"},
        {fendar().real(77, 400.0).real(98, 399.0).real(159, 400e6).real(100, 100.0),
         "BF1=", "BF1=     399.0000000    BF2=     100.0000000"},
        {fendar().real(77, 400.0).real(53, 4000.0).real(57, 100.0),
         "OFFSET=", "OFFSET=        5.250 ppm             2100.00 Hz"},
        {torgil().real(77, 250.0).real(53, 1000.0).real(57, 500.0).real(181, 125.0),
         "OFFSET=", "OFFSET=        4.000 ppm             1000.00 Hz"},
        {torgil(-1), "    TORGIL", "    TORGIL PARAMETERS from sector -1"},
        {torgil(8388607), "    TORGIL", "    TORGIL PARAMETERS in sector 8388607 not available"},
        // Unknown data is read as the program name says, after its last "/".
        {fendar().word(11, 9), "Unknown", "Unknown data interpreted as FENDAR", "bin/fendump"},
        {fendar().word(11, 9).word(117, -2), "Unknown", "Unknown data interpreted as TORGIL", "TORGIL"},
        {fendar().word(11, 9), "Unknown", "Unknown data", "/opt/gil.fen/parmdump"},
        {fendar().word(11, 9), "Unknown", "Unknown data interpreted as FENDAR", "PDFEN"},
        {fendar().word(11, 9), "Unknown", "Unknown data interpreted as FENDAR", "pddar"},
        {fendar().word(11, 9), "Unknown", "Unknown data interpreted as FENDAR", "PDDAR"},
        {fendar().word(11, 9).word(117, -2), "Unknown",
         "Unknown data interpreted as FENDAR interpreted as TORGIL", "fengil"},
        {fendar(), "TORGIL", "(no line TORGIL)", "torgil"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(line_starting(report({c.sector.bytes()}, {}, c.argv0).out, c.start), c.line) << c.start;
    }
    // With one sector more, the second sector of a single file is sector n + 1.
    EXPECT_EQ(
        line_starting(
            report({torgil(1).bytes(), Bytes(SECTOR), ParameterSector(false).real(40, 5e7).bytes()}).out,
            "D0="),
        "D0=        0.5000000    D1=        0.0000000");
    EXPECT_EQ(line_starting(report({torgil(2).bytes(), Bytes(SECTOR), Bytes(SECTOR)}).out, "    TORGIL"),
              "    TORGIL PARAMETERS in sector 2 not available");
}

TEST(Parmdump, ParameterFileBesideTheDataFile) {
    TempDir dir;
    auto put = [&](const std::string& name, const Bytes& bytes) { write_file(dir.file(name), bytes); };
    Bytes data(4 * SECTOR, 0x33), fendar = fendar_sector().bytes();
    put("data", data);
    put("p_data", host_file({fendar}));
    RunResult r = run_parmdump({"data"}, "", dir.path());
    EXPECT_EQ(outcome(r), "0|" + r.out + "|");
    EXPECT_EQ(digest(r.out), FENDAR_REPORT);
    // A P_ file is the second choice, and its form counts, not that of the data file.
    put("p_data", data), put("P_data", host_file({fendar}, {true, false}));
    EXPECT_EQ(run_parmdump({dir.file("data")}).out, with_header_suffix(r.out, " EXPANDED"));
    // Names are composed with the directory, "." when the argument has none.
    put("P_data", {0x47, 0x84, 0xF5, 0x00, 0x00});
    EXPECT_EQ(run_parmdump({"data"}, "", dir.path()).out, "Cannot read ./P_data: file too short\n");
    // Neither is recognised: the data file itself is read.
    put("P_data", data);
    EXPECT_EQ(outcome(run_parmdump({"data"}, "", dir.path())), "1|Illegal parameter sector in data\n|");
    // The second TORGIL sector comes from the data file named without the prefix.
    put("data",
        host_file({Bytes(SECTOR, 0x21), Bytes(SECTOR, 0x21), ParameterSector(false).real(40, 5e7).bytes()}));
    put("P_data", host_file({torgil(2).bytes()}));
    std::string out = run_parmdump({dir.file("data")}).out;
    EXPECT_EQ(line_starting(out, "    TORGIL") + "|" + line_starting(out, "LIST=") + "|" +
                  line_starting(out, "D0="),
              "    TORGIL PARAMETERS from sector 2|LIST=D1|D0=        0.5000000    D1=        0.0000000");
    put("data", {1, 2, 3, 4});
    EXPECT_EQ(line_starting(run_parmdump({dir.file("P_data")}).out, "    TORGIL"),
              "    TORGIL PARAMETERS in sector 2 not available");
}

TEST(Parmdump, Failures) {
    TempDir dir;
    const std::string at = dir.path() + "/", id = "Cannot read file identification word of " + at,
                      long_name = at + std::string(5000, 'n');
    Bytes packed = host_file({fendar_sector().bytes()}),
          expanded = host_file({fendar_sector().bytes()}, {true, false});
    // clang-format off
    for (auto [name, bytes] : {std::pair{"empty", Bytes{}}, {"three", Bytes(3, 0x47)},
             {"other", Bytes(SECTOR, 0x47)}, {"short", Bytes(packed.begin(), packed.end() - 1)},
             {"expanded", Bytes(expanded.begin(), expanded.begin() + SECTOR)}})
        write_file(at + name, bytes);
    // What parmdump prints, and the library's error with its errno, from the path and from the bytes.
    for (auto [path, message, errnum] : {
             std::tuple{at + "missing", "Cannot open " + at + "missing: No such file or directory", ENOENT},
             {long_name, "Cannot open " + long_name + ": File name too long", ENAMETOOLONG},
             {at + "empty", id + "empty: file too short", 0}, {at + "three", id + "three: file too short", 0},
             {dir.path(), id.substr(0, id.size() - 1) + ": Is a directory", EISDIR},
             {at + "short", "Cannot read " + at + "short: file too short", 0},
             {at + "expanded", "Cannot read " + at + "expanded: file too short", 0},
             {at + "other", "Illegal parameter sector in " + at + "other", 0}}) { // clang-format on
        EXPECT_EQ(outcome(run_parmdump({path})), "1|" + message + "\n|");
        EXPECT_EQ(error_of([&] { veltra::parameters(path); }), message + "|" + std::to_string(errnum));
        if (errnum == 0) {
            EXPECT_EQ(error_of([&] { veltra::parameters(read_file(path), path); }), message + "|0");
        }
    }
    Bytes too_short{0x47, 0x84, 0xF5, 0x00, 0x00}; // a parameter file's identification, nothing more
    EXPECT_EQ(error_of([&] { veltra::parameters(Bytes(SECTOR), "d", {}, too_short); }),
              "Cannot read ./p_d: file too short|0");
    EXPECT_EQ(outcome(run_parmdump({}, "some/where/pd")), "1|Usage: some/where/pd filename\n|");
}

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
