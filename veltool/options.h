// The veltool command line: option values with their starting values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltool {

enum class SortMode { by_name = 0, by_size = 1, by_date = 2 };

struct Options {
    std::string attributes;                 // -a
    std::int64_t directory_blocks = 128;    // -b
    std::string comment;                    // -c
    std::string disk_image;                 // -d
    std::string suffix;                     // -e
    std::string host_file;                  // -f: host file name or output name prefix
    std::int64_t program_start = -1;        // -g
    std::int64_t line_count = 0;            // -h (20 when given without a value)
    std::string command = "DIR";            // -i, else from the invocation name
    std::int64_t load_address = -1;         // -l
    std::string new_tag;                    // -n, held as "$" and the argument
    std::string letters;                    // -o: mode letters or listing format
    std::string tag_pattern;                // -r, held as "$" and the argument
    std::int64_t user_info_size = -1;       // -s
    SortMode sort_mode = SortMode::by_name; // -m, -t
    int sort_direction = 1;                 // -w: -1 turns the size and date orders around
    std::string date_bound;                 // -t's attached argument
    std::int64_t user_info_address = -1;    // -u
    bool include_untagged = false;          // -z
    std::vector<std::string> arguments;     // the words after the options
};

// The command named by an invocation name (the program's first argument word): the three
// characters after a leading "VEL" of its last path component, else "DIR".
std::string command_from_invocation(const std::string& argv0);

// Reads an integer as "%i" does (decimal, 0x hexadecimal, leading-0 octal, optional sign,
// leading white space). Returns how many characters it read: 0, leaving value alone, when
// the text does not begin with a number.
std::size_t scan_integer(const std::string& text, std::int64_t& value);

// Collects all options into a fresh Options, in command-line order; the first word that is
// not an option, or the word after "--", starts the arguments. The command comes from the
// invocation name argv[0]. Option errors are fatal.
Options parse_options(int argc, char** argv);
// The same for the words after the invocation name, into options that hold the starting values.
void parse_option_words(const std::vector<std::string>& words, Options& options);

// True when letter occurs in text, in either case.
bool has_letter(const std::string& text, char letter);

} // namespace veltool
