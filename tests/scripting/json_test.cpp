// --json of dir, sdi, ddi, sum, ptr, dcr and parmdump: every document validates against its
// installed schema and says what the text says, field by field.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "tests/support/disk.h"
#include "veltra/parameters.h"

using namespace test;
using Json = nlohmann::ordered_json;

namespace {

// The first place where the value breaks the schema, for the keywords the schema files use.
std::string violation(const Json& root, const Json& s, const Json& v, const std::string& at) {
    if (s.contains("$ref"))
        return violation(root, root["$defs"][s["$ref"].get<std::string>().substr(8)], v, at);
    bool typed = !s.contains("type");
    for (const Json& t :
         s.value("type", Json()).is_array() ? s["type"] : Json::array({s.value("type", Json())})) {
        std::string n = t.is_string() ? t.get<std::string>() : "";
        typed = typed || (n == "integer"   ? v.is_number_integer()
                          : n == "number"  ? v.is_number()
                          : n == "string"  ? v.is_string()
                          : n == "boolean" ? v.is_boolean()
                          : n == "null"    ? v.is_null()
                          : n == "array"   ? v.is_array()
                                           : n == "object" && v.is_object());
    }
    if (!typed) return at + " is not " + s["type"].dump();
    if (s.contains("enum") && std::find(s["enum"].begin(), s["enum"].end(), v) == s["enum"].end())
        return at + " not in " + s["enum"].dump();
    if (s.contains("minimum") && v.is_number() && v.get<double>() < s["minimum"].get<double>())
        return at + " below its minimum";
    for (const Json& r : v.is_object() ? s.value("required", Json::array()) : Json::array())
        if (!v.contains(r.get<std::string>())) return at + " lacks " + r.dump();
    static const Json none = Json::object();
    for (const auto& [key, item] : (v.is_object() ? v : none).items()) {
        if (s.contains("properties") && s["properties"].contains(key)) {
            std::string e = violation(root, s["properties"][key], item, at + "." + key);
            if (!e.empty()) return e;
        } else if (s.value("additionalProperties", true) == false) {
            return at + " has " + key;
        }
    }
    for (std::size_t i = 0; v.is_array() && s.contains("items") && i < v.size(); ++i) {
        std::string e = violation(root, s["items"], v[i], at + "[" + std::to_string(i) + "]");
        if (!e.empty()) return e;
    }
    return "";
}

// The document on standard output, checked against docs/schema/NAME.schema.json.
Json document(const RunResult& r, const std::string& schema_name) {
    Json doc = Json::parse(r.out),
         schema = Json::parse(read_file(SCHEMA_DIR "/" + schema_name + ".schema.json"));
    EXPECT_EQ(violation(schema, schema, doc, "$"), "") << r.out;
    return doc;
}

std::string printed(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}
// As "%o" shows a value that may be negative: its 32 bits.
unsigned long long oct(const Json& v) {
    long long n = v.get<long long>();
    return n < 0 ? static_cast<std::uint32_t>(n) : static_cast<unsigned long long>(n);
}
// "%d.%b.%y" of an ISO date (the epoch for none), in the C locale.
std::string listed_date(const Json& iso) {
    int y = 1970, m = 1, d = 1;
    if (iso.is_string()) std::sscanf(iso.get<std::string>().c_str(), "%d-%d-%d", &y, &m, &d);
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return printed("%02d.%s.%02d", d, months[m - 1], y % 100);
}

// The text listing of a document's entry under a mask of one field (or of heading and summary).
std::string text_of(const Json& e, unsigned mask) {
    if (e["kind"] == "empty") return mask == 0xc00 ? "[EMPTY]      \n" : "";
    std::string line = e["listed_name"];
    if (mask == 1) line += printed(" '%-4s", e["attribute_letters"].get<std::string>().c_str());
    if (mask == 2)
        line += printed(" %3u!%3u", e["attribute_numbers"][0].get<unsigned>(),
                        e["attribute_numbers"][1].get<unsigned>());
    if (mask == 4) line += printed(" (%8llo)", oct(e["sectors"]));
    if (mask == 8) line += printed(" [%7lldK]", e["k"].get<long long>());
    if (e["kind"] == "illegal") {
        if (mask == 0x80) line += printed("  :%8llo", oct(e["start_sector"]));
        if (mask == 0x100)
            line += e["tag"] == "" ? "     " : printed(" $%-4s", e["tag"].get<std::string>().c_str());
        return line + "   *** ILLEGAL ENTRY ***\n";
    }
    if (mask == 0x10 && e["directory_sector"])
        line += printed("%8llo-%8llo", oct(e["load_address"]), oct(e["end_address"])) +
                (e["program_start"].is_null() ? "         " : printed(";%8llo", oct(e["program_start"])));
    if (mask == 0x20 && e["directory_sector"])
        line += e["user_info_size"].is_null()
                    ? std::string(14, ' ')
                    : printed(" +%8llo#%3llo", oct(e["user_info_address"]), oct(e["user_info_size"]));
    if (mask == 0x40 && e["directory_sector"]) line += " " + listed_date(e["date"]);
    if (mask == 0x80) line += printed(" :%8llo", oct(e["start_sector"]));
    if (mask == 0x100 && e["tag"] != "") line += printed(" $%-4s", e["tag"].get<std::string>().c_str());
    line += "\n";
    if (mask == 0x200 && e.contains("comment")) line += "\\" + e["comment"].get<std::string>() + "\n";
    return line;
}

std::string without_blank_lines(std::string text) {
    for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;)
        text.erase(at, 1);
    return text;
}

std::vector<std::string> plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

ImageBuilder sample() {
    FileSpec prog = named("PROG.SAV", 600), xray = named("XRAY.TXT", 257), bad = named("BAD", 0),
             gone = named("GONE", 10), odd = named("ODD/1", 3);
    prog.attributes = REGULAR | X | P | 5 | (3 << 8);
    prog.load_address = 01000, prog.program_start = 01010, prog.user_info_address = 02000;
    prog.user_info_size = 010, prog.date = bcd3(24, 12, 99), prog.tag = "T1", prog.comment = "first program";
    xray.attributes = REGULAR | R, xray.date = bcd3(1, 3, 5);
    bad.attributes = REGULAR | NOT_FILE | I | C, bad.tag = "T2";
    gone.magic = DELETED_MAGIC;
    odd.sector_size_word = 1; // its directory sector disagrees
    return ImageBuilder(400, 8, bcd3(2, 1, 90))
        .comment("SAMPLE \"DISK\"")
        .file(prog)
        .empty(4)
        .deleted(1, named("OLD.DAT", 300))
        .file(xray)
        .file(bad)
        .file(gone)
        .file(odd);
}

} // namespace

TEST(Json, ListingsAgreeWithTheTextFieldByField) {
    Bytes longer = sample();
    longer.resize(longer.size() + SECTOR); // warnings of a damaged directory
    struct Case {
        Bytes image;
        std::string command;
        std::vector<std::string> arguments;
    } cases[] = {
        {sample(), "DIR", {}},
        {sample(), "DIR", {"-r", "T*"}},
        {sample(), "DIR", {"-r", "T*", "-z"}},
        {sample(), "DIR", {"*.SAV"}},
        {sample(), "SDI", {}},
        {sample(), "SDI", {"-m"}},
        {sample(), "SDI", {"-m", "-w"}},
        {sample(), "SDI", {"-t"}},
        {sample(), "SDI", {"-tY1/1/99"}},
        {sample(), "DDI", {}},
        {sample(), "DDI", {"-r", "X*"}},
        {longer, "DIR", {}},
        {longer, "SDI", {"-t", "-w"}},
    };
    for (const Case& c : cases) {
        Disk d(c.image);
        SCOPED_TRACE(c.command + " " + (c.arguments.empty() ? "" : c.arguments[0]));
        RunResult whole = d.run(c.command, plus({"--json"}, c.arguments)),
                  text = d.run(c.command, c.arguments);
        Json doc = document(whole, "listing");
        EXPECT_EQ(whole.status, text.status);
        std::string warnings;
        for (const Json& w : doc["warnings"])
            warnings += "WARNING: " + w.get<std::string>() + "\n";
        EXPECT_EQ(warnings, text.err);
        Json full = document(d.run(c.command, plus({"-o", "f", "--json"}, c.arguments)), "listing");
        full["directory"].erase("actual_date"), doc["directory"].erase("actual_date"); // the clock goes on
        EXPECT_EQ(doc, full);
        for (unsigned mask = 1; mask <= 0x800; mask <<= 1) {
            unsigned m = mask == 0x400 ? 0xc00 : mask; // heading, free areas and summary together
            if (mask == 0x800) break;
            Json one =
                document(d.run(c.command, plus({"-o", std::to_string(m), "--json"}, c.arguments)), "listing");
            std::string expected;
            if (m == 0xc00) {
                const Json& dir = one["directory"];
                expected = dir["comment"].get<std::string>() +
                           "\nACTUAL DATE: " + listed_date(dir["actual_date"]) +
                           "   DISK INITIALIZATION OR LAST DRE: " + listed_date(dir["date"]) + "\n";
            }
            for (const Json& e : one["entries"])
                expected += text_of(e, m);
            if (m == 0xc00) {
                const Json& s = one["summary"];
                expected +=
                    printed("SPACE AVAILABLE: %7lld K\nLARGEST EMPTY:   %7lld K\nFILE ENTRIES USED:  %4lld "
                            "of %4lld\n",
                            s["space_available_k"].get<long long>(), s["largest_empty_k"].get<long long>(),
                            one["directory"]["entries_used"].get<long long>(),
                            one["directory"]["capacity"].get<long long>());
                EXPECT_EQ(s["space_available_words"].get<long long>() / 256, s["space_available_sectors"]);
            }
            EXPECT_EQ(expected,
                      without_blank_lines(d.run(c.command, plus({"-o", std::to_string(m)}, c.arguments)).out))
                << "mask " << m;
        }
    }
}

TEST(Json, SumPtrDcrAndTheHostForms) {
    Disk d(sample().default_partition_table());
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"*"}, {"X*", "NONE"}, {"NONE", "Z*"}, {"-o", "r", "NONE"}}) {
        Json doc = document(d.run("SUM", plus({"--json"}, args)), "sum");
        std::string expected;
        for (const Json& f : doc["files"])
            expected += f["listed_name"].get<std::string>() +
                        printed("   SIZE = %8llo   CSUM = %8llo\n", oct(f["size_words"]), oct(f["checksum"]));
        for (std::size_t i = 0; doc.contains("not_found") && i <= doc["not_found"].size(); ++i)
            expected += i == doc["not_found"].size() ? "\n"
                                                     : (i        ? ", "
                                                        : i == 0 ? "FILE NOT FOUND: "
                                                                 : "") +
                                                           doc["not_found"][i].get<std::string>();
        RunResult text = d.run("SUM", args);
        EXPECT_EQ(expected, text.out);
        EXPECT_EQ(doc["warnings"].size(),
                  static_cast<std::size_t>(std::count(text.err.begin(), text.err.end(), '\n')));
    }
    // The bytes of each host form are the sizes of the files rea writes; ODD/1 is no host name.
    Json files = document(d.run("DIR", {"--json"}), "listing")["entries"];
    for (const Json& f : files) {
        EXPECT_EQ(f.value("full_name", "") == "ODD/1", f.value("host_name", Json("")).is_null()) << f.dump();
        if (f["kind"] != "file" || !f["directory_sector"]) continue;
        for (const auto& [form, letters] : {std::pair{"file_image", "B"},
                                            {"data", "D"},
                                            {"packed_file_image", "P"},
                                            {"packed_data", "PD"}}) {
            d.run("REA", {"-o", letters, "-f", d.dir.file(""), f["full_name"]});
            struct stat st {};
            ASSERT_EQ(stat(d.dir.file(f["host_name"]).c_str(), &st), 0);
            EXPECT_EQ(f["bytes"][form], st.st_size) << form;
        }
    }
    Json ptr = document(d.run("PTR", {"--json"}), "ptr");
    std::string table =
        "DISK   UNIT   START SECTOR   END SECTOR   SIZE IN SECTORS\n" + std::string(57, '=') + "\n";
    for (const Json& p : ptr["partitions"])
        table +=
            printed("%s     %2llo      %7lld       %7lld         %7lld\n",
                    p["disk"].get<std::string>().c_str(), oct(p["unit"]), p["start_sector"].get<long long>(),
                    p["end_sector"].get<long long>(), p["size_sectors"].get<long long>());
    EXPECT_EQ(table, d.run("PTR", {}).out);
    EXPECT_EQ(document(d.run("DCR", {"--json"}), "dcr")["comment"].get<std::string>() + "\n",
              d.run("DCR", {}).out);
    // A fatal error: the text's message and status, nothing on standard output; no --json for other commands.
    FileSpec nowhere = named("DATA", 0);
    nowhere.entry_start = 0;
    RunResult failed = Disk(ImageBuilder(400).file(nowhere)).run("DIR", {"--json"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_FALSE(Json::accept(failed.out)); // no whole document
    EXPECT_TRUE(failed.err.ends_with("ERROR: cannot seek disk/file image:\nInvalid argument\n"))
        << failed.err;
    EXPECT_EQ(outcome(d.run("PTR", {"--json", "-o", "x"})).substr(0, 1), "0");
    EXPECT_EQ(outcome(d.run("REA", {"--json", "PROG.SAV"})), "1||ERROR: illegal option \"--json\"\n");
}

TEST(Json, ParmdumpReportsTheRecordsAndTheText) {
    TempDir dir;
    std::string path = dir.file("PROTON.FID");
    write_file(path, host_file({fendar_sector().bytes(), Bytes(SECTOR, 1)}));
    veltra::ParameterReport report = veltra::parameters(path);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--json", path}, {path, "--json"}}) {
        Json doc = document(run_program(PARMDUMP_PATH, args), "parmdump");
        std::string text;
        for (const Json& line : doc["text"])
            text += line.get<std::string>() + "\n";
        EXPECT_EQ(text, report.text);
        ASSERT_EQ(doc["parameters"].size(), report.parameters.size());
        for (std::size_t i = 0; i < report.parameters.size(); ++i) {
            const veltra::Parameter& p = report.parameters[i];
            const Json& j = doc["parameters"][i];
            EXPECT_EQ(Json({p.name, p.value, p.unit, p.block, p.kind}),
                      Json({j["name"], j["value"], j["unit"], j["block"], j["kind"]}));
            if (!j["number"].is_null()) {
                EXPECT_DOUBLE_EQ(j["number"].get<double>(), std::stod(p.value)) << p.name;
            }
        }
    }
    RunResult missing = run_program(PARMDUMP_PATH, {"--json", dir.file("none")});
    EXPECT_EQ(outcome(missing), "1||Cannot open " + dir.file("none") + ": No such file or directory\n");
}
