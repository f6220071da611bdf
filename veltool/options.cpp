#include "veltool/options.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

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

namespace {

// The option letters: those followed by ':' take an argument, attached or as the next word;
// those followed by "::" take one only attached.
constexpr const char* OPTION_LETTERS = "a:b:c:d:e:f:g:h::i:l:mn:o:r:s:t::u:wz";

enum class Takes { nothing, argument, attached_argument };

std::optional<Takes> option_kind(char letter) {
    const char* at = letter == ':' ? nullptr : std::strchr(OPTION_LETTERS, letter);
    if (at == nullptr || letter == '\0') return std::nullopt;
    if (at[1] != ':') return Takes::nothing;
    return at[2] == ':' ? Takes::attached_argument : Takes::argument;
}

// One option and its argument (nullptr when it has none).
void take_option(char letter, const char* argument, Options& options) {
    switch (letter) {
    case 'a': options.attributes = argument; break;
    case 'b': scan_integer(argument, options.directory_blocks); break;
    case 'c': options.comment = argument; break;
    case 'd': options.disk_image = argument; break;
    case 'e': options.suffix = argument; break;
    case 'f': options.host_file = argument; break;
    case 'g': scan_integer(argument, options.program_start); break;
    case 'h':
        if (argument != nullptr) {
            scan_integer(argument, options.line_count);
        } else {
            options.line_count = 20;
        }
        break;
    case 'i': options.command = argument; break;
    case 'l': scan_integer(argument, options.load_address); break;
    case 'm': options.sort_mode = SortMode::by_size; break;
    case 'n': options.new_tag = std::string("$") + argument; break;
    case 'o': options.letters = argument; break;
    case 'r': options.tag_pattern = std::string("$") + argument; break;
    case 's': scan_integer(argument, options.user_info_size); break;
    case 't':
        options.sort_mode = SortMode::by_date;
        options.date_bound = argument != nullptr ? argument : "";
        break;
    case 'u': scan_integer(argument, options.user_info_address); break;
    case 'w': options.sort_direction = -1; break;
    case 'z': options.include_untagged = true; break;
    default: break;
    }
}

} // namespace

void parse_option_words(const std::vector<std::string>& words, Options& options) {
    std::size_t next = 0;
    while (next < words.size()) {
        const std::string& word = words[next];
        if (word == "--") {
            ++next;
            break;
        }
        if (word.size() < 2 || word[0] != '-') break;
        ++next;
        for (std::size_t k = 1; k < word.size(); ++k) {
            char letter = word[k];
            std::optional<Takes> takes = option_kind(letter);
            if (!takes) fatal(0, "illegal option \"-%c\"", letter);
            if (*takes == Takes::nothing) {
                take_option(letter, nullptr, options);
                continue;
            }
            if (k + 1 < word.size()) {
                take_option(letter, word.c_str() + k + 1, options);
            } else if (*takes == Takes::attached_argument) {
                take_option(letter, nullptr, options);
            } else if (next < words.size()) {
                take_option(letter, words[next++].c_str(), options);
            } else {
                fatal(0, "missing parameter for option \"-%c\"", letter);
            }
            break;
        }
    }
    options.arguments.assign(words.begin() + static_cast<std::ptrdiff_t>(next), words.end());
}

Options parse_options(int argc, char** argv) {
    Options options;
    if (argc > 0 && argv[0] != nullptr) options.command = command_from_invocation(argv[0]);
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    parse_option_words(words, options);
    return options;
}

} // namespace veltool
