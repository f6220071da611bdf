// --json of dir, sdi, ddi, sum, ptr, dcr and parmdump: every document validates against its
// installed schema and says what the text says, field by field.
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/support/disk.h"
#include "veltra/parameters.h"

using namespace test;
using Json = nlohmann::ordered_json;

namespace {

// The first place where the value breaks the schema, for the keywords the schema files use.
std::string violation(const Json& root, const Json& s, const Json& v, const std::string& at) {
    if (s.contains("$ref"))
        return violation(root, root["$defs"][s["$ref"].get<std::string>().substr(8)], v, at);
    Json types = s.value("type", Json::array());
    bool typed = types.empty();
    for (const Json& t : types.is_array() ? types : Json::array({types}))
        typed = typed || t == v.type_name() || (t == "integer" && v.is_number_integer());
    if (!typed) return at + " is not " + types.dump();
    if (s.contains("enum") && std::find(s["enum"].begin(), s["enum"].end(), v) == s["enum"].end())
        return at + " not in " + s["enum"].dump();
    for (const Json& r : v.is_object() ? s.value("required", Json::array()) : Json::array())
        if (!v.contains(r.get<std::string>())) return at + " lacks " + r.dump();
    static const Json none = Json::object();
    std::string e;
    for (const auto& [key, item] : (v.is_object() ? v : none).items()) {
        if (!e.empty()) break;
        if (s.contains("properties") && s["properties"].contains(key))
            e = violation(root, s["properties"][key], item, at + "." + key);
        else if (s.value("additionalProperties", true) == false)
            e = at + " has " + key;
    }
    for (std::size_t i = 0; e.empty() && v.is_array() && s.contains("items") && i < v.size(); ++i)
        e = violation(root, s["items"], v[i], at + "[" + std::to_string(i) + "]");
    return e;
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
// A number as "%o" shows it (a negative one: its 32 bits), and a string.
unsigned long long oct(const Json& v) {
    return static_cast<std::uint32_t>(v.get<long long>());
}
const char* str(const Json& v) {
    return v.get_ref<const std::string&>().c_str();
}
// "%d.%b.%y" of an ISO date (the epoch for none), in the C locale.
std::string listed_date(const Json& iso) {
    int y = 1970, m = 1, d = 1;
    if (iso.is_string()) std::sscanf(str(iso), "%d-%d-%d", &y, &m, &d);
    return printed("%02d.%.3s.%02d", d, "JanFebMarAprMayJunJulAugSepOctNovDec" + 3 * (m - 1), y % 100);
}
std::string warnings_of(const Json& doc) {
    std::string text;
    for (const Json& w : doc["warnings"])
        text += "WARNING: " + w.get<std::string>() + "\n";
    return text;
}

// The text listing of a document under a mask of one field, or of heading, free areas and
// summary (0xc00), without its blank lines.
std::string text_of(const Json& doc, unsigned m) {
    const Json &dir = doc["directory"], &sum = doc["summary"];
    std::string text = m != 0xc00
                           ? ""
                           : str(dir["comment"]) + ("\nACTUAL DATE: " + listed_date(dir["actual_date"])) +
                                 "   DISK INITIALIZATION OR LAST DRE: " + listed_date(dir["date"]) + "\n";
    for (const Json& e : doc["entries"]) {
        bool sector = e.value("directory_sector", false), illegal = e["kind"] == "illegal";
        if (e["kind"] == "empty") {
            text += m == 0xc00 ? "[EMPTY]      \n" : "";
            continue;
        }
        text += str(e["listed_name"]);
        text += m == 1   ? printed(" '%-4s", str(e["attribute_letters"]))
                : m == 2 ? printed(" %3u!%3u", e["attribute_numbers"][0].get<unsigned>(),
                                   e["attribute_numbers"][1].get<unsigned>())
                : m == 4 ? printed(" (%8llo)", oct(e["sectors"]))
                : m == 8 ? printed(" [%7lldK]", e["k"].get<long long>())
                : m == 0x10 && sector
                    ? printed("%8llo-%8llo", oct(e["load_address"]), oct(e["end_address"])) +
                          (e["program_start"].is_null() ? "         "
                                                        : printed(";%8llo", oct(e["program_start"])))
                : m == 0x20 && sector
                    ? (e["user_info_size"].is_null()
                           ? std::string(14, ' ')
                           : printed(" +%8llo#%3llo", oct(e["user_info_address"]), oct(e["user_info_size"])))
                : m == 0x40 && sector ? " " + listed_date(e["date"])
                : m == 0x80           ? printed(illegal ? "  :%8llo" : " :%8llo", oct(e["start_sector"]))
                : m == 0x100 && (e["tag"] != "" || illegal)
                    ? (e["tag"] == "" ? "     " : printed(" $%-4s", str(e["tag"])))
                    : "";
        text += illegal ? "   *** ILLEGAL ENTRY ***\n" : "\n";
        if (m == 0x200 && e.contains("comment")) text += "\\" + e["comment"].get<std::string>() + "\n";
    }
    if (m == 0xc00) {
        text += printed(
            "SPACE AVAILABLE: %7lld K\nLARGEST EMPTY:   %7lld K\nFILE ENTRIES USED:  %4lld of %4lld\n",
            sum["space_available_k"].get<long long>(), sum["largest_empty_k"].get<long long>(),
            dir["entries_used"].get<long long>(), dir["capacity"].get<long long>());
        EXPECT_EQ(sum["space_available_words"].get<long long>() / 256, sum["space_available_sectors"]);
    }
    return text;
}

std::vector<std::string> plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    return a.insert(a.end(), b.begin(), b.end()), a;
}

// The files of the listing tests, a deleted one, a bad entry and a directory sector that disagrees.
ImageBuilder sample() {
    FileSpec bad = named("BAD", 0), gone = named("GONE", 10), odd = named("ODD/1", 3);
    bad.attributes = REGULAR | NOT_FILE | I | C, bad.tag = "T2", gone.magic = DELETED_MAGIC,
    odd.sector_size_word = 1;
    // clang-format off
    return ImageBuilder(400, 8, bcd3(2, 1, 90)).comment("SAMPLE \"DISK\"").file(listed_program()).empty(4)
        .deleted(1, named("OLD.DAT", 300)).file(listed_text()).file(bad).file(gone).file(odd);
    // clang-format on
}

} // namespace

TEST(Json, ListingsAgreeWithTheTextFieldByField) {
    Bytes bytes = sample();
    bytes.resize(bytes.size() + SECTOR); // the warnings of a damaged directory
    Disk d(sample()), longer(bytes);
    // clang-format off
    for (const auto& [disk, c] : std::vector<std::pair<Disk*, std::vector<std::string>>>{
             {&d, {"DIR"}}, {&d, {"DIR", "-r", "T*"}}, {&d, {"DIR", "-r", "T*", "-z"}}, {&d, {"DIR", "*.SAV"}},
             {&d, {"SDI"}}, {&d, {"SDI", "-m"}}, {&d, {"SDI", "-m", "-w"}}, {&d, {"SDI", "-t"}},
             {&d, {"SDI", "-tY1/1/99"}}, {&d, {"DDI"}}, {&d, {"DDI", "-r", "X*"}}, {&longer, {"DIR"}},
             {&longer, {"SDI", "-t", "-w"}}}) { // clang-format on
        std::vector<std::string> args(c.begin() + 1, c.end());
        SCOPED_TRACE(c[0] + " " + (args.empty() ? "" : args[0]));
        RunResult whole = disk->run(c[0], plus({"--json"}, args)), text = disk->run(c[0], args);
        Json doc = document(whole, "listing"),
             full = document(disk->run(c[0], plus({"-o", "f", "--json"}, args)), "listing");
        EXPECT_EQ(whole.status, text.status);
        EXPECT_EQ(warnings_of(doc), text.err);
        full["directory"].erase("actual_date"), doc["directory"].erase("actual_date"); // the clock goes on
        EXPECT_EQ(doc, full);
        for (unsigned m : {1, 2, 4, 8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0xc00}) {
            std::vector<std::string> masked = plus({"-o", std::to_string(m)}, args);
            EXPECT_EQ(text_of(document(disk->run(c[0], plus({"--json"}, masked)), "listing"), m),
                      std::regex_replace(disk->run(c[0], masked).out, std::regex("\n\n+"), "\n"))
                << "mask " << m;
        }
    }
}

TEST(Json, SumPtrDcrAndTheHostForms) {
    Disk d(sample().default_partition_table());
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"*"}, {"X*", "NONE"}, {"NONE", "Z*"}, {"-o", "r", "NONE"}}) {
        Json doc = document(d.run("SUM", plus({"--json"}, args)), "sum");
        std::string expected, missing;
        for (const Json& f : doc["files"])
            expected += str(f["listed_name"]) +
                        printed("   SIZE = %8llo   CSUM = %8llo\n", oct(f["size_words"]), oct(f["checksum"]));
        for (const Json& name : doc.value("not_found", Json::array()))
            missing += (missing.empty() ? "FILE NOT FOUND: " : ", ") + name.get<std::string>();
        RunResult text = d.run("SUM", args);
        EXPECT_EQ(expected + (missing.empty() ? "" : missing + "\n"), text.out);
        EXPECT_EQ(warnings_of(doc), text.err);
    }
    // The bytes of each host form are the sizes of the files rea writes; ODD/1 is no host name.
    Json entries = document(d.run("DIR", {"--json"}), "listing")["entries"],
         partitions = document(d.run("PTR", {"--json"}), "ptr")["partitions"];
    for (const Json& f : entries) {
        EXPECT_EQ(f.value("full_name", "") == "ODD/1", f.value("host_name", Json("")).is_null()) << f.dump();
        // clang-format off
        for (const auto& [form, letters] : {std::pair{"file_image", "B"}, {"data", "D"},
                                            {"packed_file_image", "P"}, {"packed_data", "PD"}}) {
            // clang-format on
            if (f["kind"] != "file" || !f["directory_sector"]) break;
            d.run("REA", {"-o", letters, "-f", d.dir.file(""), f["full_name"]});
            EXPECT_EQ(f["bytes"][form], std::filesystem::file_size(d.dir.file(f["host_name"]))) << form;
        }
    }
    std::string table =
        "DISK   UNIT   START SECTOR   END SECTOR   SIZE IN SECTORS\n" + std::string(57, '=') + "\n";
    for (const Json& p : partitions)
        table += printed("%s     %2llo      %7lld       %7lld         %7lld\n", str(p["disk"]),
                         oct(p["unit"]), p["start_sector"].get<long long>(), p["end_sector"].get<long long>(),
                         p["size_sectors"].get<long long>());
    EXPECT_EQ(table, d.run("PTR", {}).out);
    EXPECT_EQ(str(document(d.run("DCR", {"--json"}), "dcr")["comment"]) + std::string("\n"),
              d.run("DCR", {}).out);
    // A fatal error: the text's message and status, no whole document; no --json for other commands.
    FileSpec nowhere = named("DATA", 0);
    nowhere.entry_start = 0;
    RunResult failed = Disk(ImageBuilder(400).file(nowhere)).run("DIR", {"--json"});
    EXPECT_FALSE(Json::accept(failed.out));
    EXPECT_EQ(failed.status, 1);
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
    RunResult r = run_program(PARMDUMP_PATH, {"--json", path});
    EXPECT_EQ(r.out, run_program(PARMDUMP_PATH, {path, "--json"}).out);
    Json doc = document(r, "parmdump");
    std::string text;
    for (const Json& line : doc["text"])
        text += line.get<std::string>() + "\n";
    EXPECT_EQ(text, report.text);
    Json records = Json::array(), listed = Json::array();
    for (const veltra::Parameter& p : report.parameters)
        records.push_back({p.name, p.value, p.unit, p.block, p.kind});
    for (const Json& j : doc["parameters"]) {
        listed.push_back({j["name"], j["value"], j["unit"], j["block"], j["kind"]});
        if (!j["number"].is_null()) {
            EXPECT_DOUBLE_EQ(j["number"].get<double>(), std::stod(str(j["value"])));
        }
    }
    EXPECT_EQ(listed, records);
    EXPECT_EQ(outcome(run_program(PARMDUMP_PATH, {"--json", dir.file("none")})),
              "1||Cannot open " + dir.file("none") + ": No such file or directory\n");
}
