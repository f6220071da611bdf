#include "veltool/help.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>

namespace veltool {

namespace {

struct OptionHelp {
    char letter;
    const char* argument; // empty for a letter without one; in brackets when it must be attached
    const char* meaning;
};

// What each option letter means where a command has no word of its own for it.
// clang-format off
const OptionHelp option_help[] = {
    {'d', "image", "the disk image"},
    {'i', "command", "the command, instead of the one of the program name"},
    {'o', "letters", "mode letters (below), in any order and case"},
    {'r', "pattern", "tag pattern: only files whose tag matches it"},
    {'z', "", "with -r: files without a tag too"},
    {'f', "file", "host file"},
    {'e', "suffix", "host name suffix of the files written"},
    {'c', "text", "comment"},
    {'b', "blocks", "directory blocks, 8 to 256 (default 128), 30 entries each"},
    {'g', "address", "new program start address (0 removes it)"},
    {'l', "address", "new load address"},
    {'u', "address", "new user info address (0 removes it)"},
    {'s', "size", "new user info size, at most 216 words"},
    {'a', "attributes", "attribute numbers and letters, such as 3!5X (A R I P C X)"},
    {'n', "tag", "new tag, up to 4 characters (empty clears it)"},
    {'h', "[lines]", "at most this many lines of each file (20 without a value)"},
    {'m', "", "sort by size, largest first"},
    {'t', "[bound]", "sort by date, newest first; D, M or Y and day/month/year select by date"},
    {'w', "", "reverse the size or date order"},
};
// clang-format on

constexpr const char* LISTING_MASK = "B  size in K and free space summary\n"
                                     "C  size in K, addresses, date, comment, summary and heading\n"
                                     "F  every field\n"
                                     "N  names only\n"
                                     "0nnnn  an octal mask of fields (see the manual page)\n";
constexpr const char* HOST_FORMS = "B  file image: the directory sector and the data (default)\n"
                                   "D  the data only\n"
                                   "A  host text\n"
                                   "P  one 4-byte integer per word\n"
                                   "V  a line for each file\n";
constexpr const char* NOT_FOUND = "R  no FILE NOT FOUND line when nothing is selected\n";
constexpr const char* PROTECTED = "Y  replace or delete protected files too\n";
constexpr const char* FORCE = "F  force: go on although the directory fails its check\n";

struct CommandHelp {
    const char* name;
    const char* arguments; // after the options in the synopsis
    const char* summary;
    const char* options; // the letters the command takes besides -d and -i
    const char* file;    // what -f names; nullptr when the command has no -f
    const char* comment; // what -c is; nullptr when the command has no -c
    std::string letters; // the letters of -o, a line each
    const char* examples[2];
};

// clang-format off
const CommandHelp command_help[] = {
    {"new", "[size]", "create and initialise an image of size sectors (K: x4, M: x4096)", "ocbf",
     "system area file (188 sectors) to install", "disk comment",
     "F  needed with a size: every byte of the image is lost\n",
     {"VELNEW -d disk.img -o F -c \"RUN 12\" 1000", "VELNEW -d disk.img -f system.sav"}},
    {"dir", "[patterns]", "list the directory in disk order", "orz", nullptr, nullptr, LISTING_MASK,
     {"VELDIR -d disk.img -o F", "VELDIR -d disk.img -o N '*.FID'"}},
    {"del", "patterns", "delete files", "orz", nullptr, nullptr, std::string(PROTECTED) + FORCE + NOT_FOUND,
     {"VELDEL -d disk.img NOTES.TXT", "VELDEL -d disk.img -o Y 'OLD*'"}},
    {"ren", "patterns [new-name]", "rename a file and change its directory fields", "oglusancrz", nullptr,
     "file comment (\\ empties it)", std::string(FORCE) + NOT_FOUND,
     {"VELREN -d disk.img NOTES.TXT README.TXT", "VELREN -d disk.img -a P -n RUN1 PROTON.FID"}},
    {"cop", "patterns destination", "copy files inside the image", "orz", nullptr, nullptr,
     std::string(PROTECTED) + FORCE + NOT_FOUND,
     {"VELCOP -d disk.img PROTON.FID PROTON.BAK", "VELCOP -d disk.img -o Y NOTES.TXT OLD.TXT"}},
    {"rea", "patterns", "read files of the image into host files", "oferz",
     "host name prefix of the files written", nullptr, std::string(HOST_FORMS) + NOT_FOUND,
     {"VELREA -d disk.img -o AV -f out/ NOTES.TXT", "VELREA -d disk.img -f out/ -e .img 'PROG.*'"}},
    {"wri", "host-files", "write host files into the image", "o", nullptr, nullptr,
     std::string(HOST_FORMS) + "O  the name from the host file's own directory sector\n" + PROTECTED + FORCE,
     {"VELWRI -d disk.img -o AV notes.txt", "VELWRI -d disk.img -o V RUN12.FID"}},
    {"scr", "first [count]", "copy raw sectors out to a sector image", "f",
     "sector image written", nullptr, "",
     {"VELSCR -d disk.img -f boot.sec 0", "VELSCR -d disk.img -f last.sec -- -1"}},
    {"scw", "first [count]", "write raw sectors in from a sector image", "of",
     "sector image read", nullptr, "F  needed: the sectors are overwritten\n",
     {"VELSCW -d disk.img -o F -f boot.sec 0", "VELSCW -d disk.img -o F -f last.sec -- -1"}},
    {"ptr", "", "print the partition table", "", nullptr, nullptr, "",
     {"VELPTR -d disk.img", "veltool -i ptr -d disk.img"}},
    {"ptw", "", "write the default partition table", "o", nullptr, nullptr,
     "F  go on although the image is not whole sectors\n",
     {"VELPTW -d disk.img", "VELPTW -d disk.img -o F"}},
    {"dcr", "", "print the disk comment", "", nullptr, nullptr, "",
     {"VELDCR -d disk.img", "veltool -i dcr -d disk.img"}},
    {"dcw", "", "set the disk comment", "c", nullptr, "disk comment, at most 74 characters", "",
     {"VELDCW -d disk.img -c \"RUN 12\"", "VELDCW -d disk.img -c \"\""}},
    {"old", "", "save the system area (188 sectors) to a host file", "f", "system area file written", nullptr, "",
     {"VELOLD -d disk.img -f system.sav", "veltool -i old -d disk.img -f system.sav"}},
    {"dre", "", "rebuild the directory from the directory sectors", "ob", nullptr, nullptr,
     "F  go on where files may be lost\n",
     {"VELDRE -d disk.img", "VELDRE -d disk.img -b 256"}},
    {"pac", "", "move the files together, all free space to the end", "o", nullptr, nullptr, FORCE,
     {"VELPAC -d disk.img", "VELPAC -d disk.img -o F"}},
    {"ddi", "[patterns]", "list deleted files still in the free areas", "orz", nullptr, nullptr, LISTING_MASK,
     {"VELDDI -d disk.img", "VELDDI -d disk.img -o F 'RUN*'"}},
    {"rev", "[patterns] [new-name]", "revive deleted files", "orz", nullptr, nullptr,
     std::string(FORCE) + NOT_FOUND,
     {"VELREV -d disk.img", "VELREV -d disk.img NOTES.TXT NOTES.OLD"}},
    {"res", "name [size]", "reserve space for a file (size in sectors; W, K, M: words)", "o", nullptr, nullptr,
     std::string(PROTECTED) + FORCE,
     {"VELRES -d disk.img DATA.RAW 100", "VELRES -d disk.img DATA.RAW 64K"}},
    {"sdi", "[patterns]", "list the files sorted by name, size or date", "omtwrz", nullptr, nullptr, LISTING_MASK,
     {"VELSDI -d disk.img -tM", "VELSDI -d disk.img -m -w"}},
    {"lis", "patterns", "list text files", "ohrz", nullptr, nullptr,
     std::string("U  lower case as capitals\n") + NOT_FOUND,
     {"VELLIS -d disk.img NOTES.TXT", "VELLIS -d disk.img -h5 '*.TXT'"}},
    {"fix", "", "check every file against its directory sector and tidy it", "o", nullptr, nullptr, FORCE,
     {"VELFIX -d disk.img", "VELFIX -d disk.img -o F"}},
    {"sum", "patterns", "print size and checksum of files", "orz", nullptr, nullptr, NOT_FOUND,
     {"VELSUM -d disk.img '*'", "VELSUM -d disk.img -r RUN1 '*.FID'"}},
    {"oct", "patterns", "dump files in octal", "orz", nullptr, nullptr,
     std::string("M  one word a line with characters and bytes\n"
                 "B  bytes in octal\n"
                 "C  bytes as characters\n"
                 "E  with C: on past the end-of-text byte\n"
                 "H  the directory sector first\n") + NOT_FOUND,
     {"VELOCT -d disk.img PROG.SAV", "VELOCT -d disk.img -o CH NOTES.TXT"}},
};
// clang-format on

std::string upper(const char* text) {
    std::string result = text;
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// Text lines indented under a heading.
std::string indented(const std::string& lines) {
    std::string result;
    for (std::size_t from = 0; from < lines.size();) {
        std::size_t end = lines.find('\n', from);
        result += "  " + lines.substr(from, end - from + 1);
        from = end == std::string::npos ? lines.size() : end + 1;
    }
    return result;
}

std::string option_line(const OptionHelp& option, const char* meaning) {
    std::string head = std::string("-") + option.letter;
    if (*option.argument != '\0')
        head += (option.argument[0] == '[' ? "" : " ") + std::string(option.argument);
    head.resize(std::max<std::size_t>(head.size() + 2, 16), ' ');
    return "  " + head + meaning + "\n";
}

std::string describe(const CommandHelp& command) {
    std::string tail =
        std::string(" -d image [options]") + (*command.arguments ? " " : "") + command.arguments;
    std::string text = "usage: VEL" + upper(command.name) + tail + "\n       veltool -i " + command.name +
                       tail + "\n" + "Command " + command.name + ": " + command.summary + ".\n\nOptions:\n";
    std::string letters = std::string("di") + command.options;
    for (const OptionHelp& option : option_help) {
        if (std::strchr(letters.c_str(), option.letter) == nullptr) continue;
        const char* meaning = option.letter == 'f'   ? command.file
                              : option.letter == 'c' ? command.comment
                                                     : nullptr;
        if (option.letter == 'o' && command.letters == LISTING_MASK)
            meaning = "listing mask: a preset letter or octal fields (below)";
        text += option_line(option, meaning != nullptr ? meaning : option.meaning);
    }
    text += "  --help          this text\n  --version       the program's version\n";
    if (!command.letters.empty()) text += "\nLetters of -o:\n" + indented(command.letters);
    text += std::string("\nExamples:\n  ") + command.examples[0] + "\n  " + command.examples[1] + "\n";
    return text;
}

std::string overview() {
    std::string text = "usage: veltool -i command -d image [options] [arguments]\n"
                       "       VELxxx -d image [options] [arguments]\n"
                       "Works on VELTRA disk images of the KAVOLT computer; the command comes from -i or\n"
                       "from the name the program is called by (VEL and the command, as in VELDIR).\n"
                       "\nCommands:\n";
    for (const CommandHelp& command : command_help)
        text += std::string("  ") + command.name + "  " + command.summary + "\n";
    text += "\nveltool -i command --help and VELxxx --help describe one command; man veltool has them all.\n";
    return text;
}

// The command the run names: -i's argument (the last one given), else the letters after a
// leading VEL of the program name.
std::string named_command(int argc, char** argv) {
    std::string name;
    if (argc > 0 && argv[0] != nullptr) {
        const char* slash = std::strrchr(argv[0], '/');
        std::string base = slash != nullptr ? slash + 1 : argv[0];
        if (strncasecmp(base.c_str(), "vel", 3) == 0) name = base.substr(3);
    }
    // Letters that take an argument, in the next word unless attached.
    const char* with_argument = "abcdefgilnorsu";
    for (int i = 1; i < argc && argv[i] != nullptr && std::strcmp(argv[i], "--") != 0; ++i) {
        if (argv[i][0] != '-' || argv[i][1] == '-') continue;
        for (const char* c = argv[i] + 1; *c != '\0'; ++c) {
            if (*c == 'h' || *c == 't') break; // the rest is their attached argument
            if (std::strchr(with_argument, *c) == nullptr) continue;
            const char* value = c[1] != '\0' ? c + 1 : i + 1 < argc ? argv[++i] : "";
            if (*c == 'i') name = value;
            break;
        }
    }
    return name;
}

} // namespace

std::string help_text(int argc, char** argv) {
    std::string name = named_command(argc, argv);
    for (const CommandHelp& command : command_help) {
        if (name.size() >= 3 && strncasecmp(name.c_str(), command.name, 3) == 0) return describe(command);
    }
    return overview();
}

} // namespace veltool
