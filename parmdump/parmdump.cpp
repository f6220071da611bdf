#include "parmdump/parmdump.h"

#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "veltra/parameters.h"

namespace parmdump {

namespace {

using Json = nlohmann::ordered_json;

// The value as a number when the whole of it is one, else null.
Json number_of(const std::string& value) {
    const char* end = value.data() + value.size();
    long long whole = 0;
    auto [at, error] = std::from_chars(value.data(), end, whole);
    if (error == std::errc() && at == end && !value.empty()) return whole;
    double real = 0;
    auto [real_at, real_error] = std::from_chars(value.data(), end, real, std::chars_format::fixed);
    if (real_error == std::errc() && real_at == end && !value.empty()) return real;
    return nullptr;
}

// The report as one JSON document: its first line, its parameters, and its text line by line.
std::string report_json(const std::string& path, const veltra::ParameterReport& report) {
    Json doc = Json::object();
    doc["file"] = path;
    doc["data"] = report.text.substr(0, report.text.find('\n'));
    Json parameters = Json::array();
    for (const veltra::Parameter& p : report.parameters) {
        parameters.push_back({{"name", p.name},
                              {"value", p.value},
                              {"number", number_of(p.value)},
                              {"unit", p.unit},
                              {"block", p.block},
                              {"kind", p.kind}});
    }
    doc["parameters"] = std::move(parameters);
    Json lines = Json::array();
    for (std::size_t at = 0; at < report.text.size();) {
        std::size_t end = report.text.find('\n', at);
        if (end == std::string::npos) end = report.text.size();
        lines.push_back(report.text.substr(at, end - at));
        at = end + 1;
    }
    doc["text"] = std::move(lines);
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace

int run_parmdump(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const char* invocation = argc > 0 && argv[0] != nullptr ? argv[0] : "parmdump";
    // --json before or after the file name.
    bool json = false;
    int file = 1;
    if (argc > 2 && std::strcmp(argv[1], "--json") == 0) {
        json = true;
        file = 2;
    } else if (argc > 2 && std::strcmp(argv[2], "--json") == 0) {
        json = true;
    }
    if (argc < 2) {
        std::printf("Usage: %s filename\n", invocation);
        return 1;
    }
    try {
        veltra::ParameterReport report =
            veltra::parameters(argv[file], veltra::unknown_data_for_program(invocation));
        std::string text = json ? report_json(argv[file], report) : report.text;
        std::fwrite(text.data(), 1, text.size(), stdout);
    } catch (const veltra::Error& error) {
        // With --json standard output holds JSON only: the message goes to standard error.
        std::fprintf(json ? stderr : stdout, "%s\n", error.what());
        return 1;
    }
    return 0;
}

} // namespace parmdump
