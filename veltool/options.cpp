#include "veltool/options.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "veltool/report.h"

namespace veltool {

std::string command_from_invocation(const std::string& argv0) {
    auto slash = argv0.rfind('/');
    std::string name = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
    if (name.size() >= 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'V' &&
        std::toupper(static_cast<unsigned char>(name[1])) == 'E' &&
        std::toupper(static_cast<unsigned char>(name[2])) == 'L') {
        return name.substr(3, 3);
    }
    return "DIR";
}

std::size_t scan_integer(const std::string& text, std::int64_t& value) {
    const char* start = text.c_str();
    char* end = nullptr;
    long long number = std::strtoll(start, &end, 0);
    if (end == start) return 0;
    value = number;
    return static_cast<std::size_t>(end - start);
}

bool has_letter(const std::string& text, char letter) {
    int wanted = std::toupper(static_cast<unsigned char>(letter));
    for (char c : text) {
        if (std::toupper(static_cast<unsigned char>(c)) == wanted) return true;
    }
    return false;
}

Options parse_options(int argc, char** argv) {
    Options options;
    if (argc > 0 && argv[0] != nullptr) options.command = command_from_invocation(argv[0]);

    // "+" stops at the first word that is not an option; ":" tells a missing argument
    // apart from an unknown letter and keeps getopt itself quiet.
    opterr = 0;
    optind = 0;
    int letter;
    while ((letter = getopt(argc, argv, "+:a:b:c:d:e:f:g:h::i:l:mn:o:r:s:t::u:wz")) != -1) {
        switch (letter) {
        case 'a': options.attributes = optarg; break;
        case 'b': scan_integer(optarg, options.directory_blocks); break;
        case 'c': options.comment = optarg; break;
        case 'd': options.disk_image = optarg; break;
        case 'e': options.suffix = optarg; break;
        case 'f': options.host_file = optarg; break;
        case 'g': scan_integer(optarg, options.program_start); break;
        case 'h':
            if (optarg != nullptr) {
                scan_integer(optarg, options.line_count);
            } else {
                options.line_count = 20;
            }
            break;
        case 'i': options.command = optarg; break;
        case 'l': scan_integer(optarg, options.load_address); break;
        case 'm': options.sort_mode = SortMode::by_size; break;
        case 'n': options.new_tag = std::string("$") + optarg; break;
        case 'o': options.letters = optarg; break;
        case 'r': options.tag_pattern = std::string("$") + optarg; break;
        case 's': scan_integer(optarg, options.user_info_size); break;
        case 't':
            options.sort_mode = SortMode::by_date;
            options.date_bound = optarg != nullptr ? optarg : "";
            break;
        case 'u': scan_integer(optarg, options.user_info_address); break;
        case 'w': options.sort_direction = -1; break;
        case 'z': options.include_untagged = true; break;
        case '?': fatal(0, "illegal option \"-%c\"", optopt);
        case ':': fatal(0, "missing parameter for option \"-%c\"", optopt);
        default: fatal(0, "internal getopt error");
        }
    }
    for (int i = optind; i < argc; ++i)
        options.arguments.emplace_back(argv[i]);
    return options;
}

} // namespace veltool
