#include "parmdump/identify.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace parmdump {

namespace {

constexpr std::size_t EXPANDED_SECTOR_BYTES = SECTOR_WORDS * 4;

std::size_t sector_size(bool expanded) {
    return expanded ? EXPANDED_SECTOR_BYTES : SECTOR_BYTES;
}

// Reads one sector at the current offset in the file's form into sector (3 bytes per word,
// high byte first). The count is that of the bytes read from the file.
ReadResult read_sector(int fd, bool expanded, Sector& sector) {
    if (!expanded) return read_fully(fd, sector.data(), SECTOR_BYTES);
    std::array<Byte, EXPANDED_SECTOR_BYTES> raw;
    ReadResult result = read_fully(fd, raw.data(), raw.size());
    if (result.count < raw.size()) return result;
    for (std::size_t word = 0; word < SECTOR_WORDS; ++word) {
        // Little-endian 32-bit integer; its top byte is not part of the word.
        const Byte* in = raw.data() + 4 * word;
        Byte* out = sector.data() + kavolt::WORD_BYTES * word;
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
    return result;
}

// Seeks to sector `index` (in the file's form) and reads it; false when either fails.
bool read_sector_at(int fd, std::int64_t index, bool expanded, Sector& sector) {
    std::int64_t offset = index * static_cast<std::int64_t>(sector_size(expanded));
    if (offset < 0 || ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    return read_sector(fd, expanded, sector).count == sector_size(expanded);
}

// The first four bytes of an open file; nothing when fewer arrive.
std::optional<Identification> identify_file(int fd, ReadResult& result) {
    Byte first_four[4];
    result = read_fully(fd, first_four, sizeof first_four);
    if (result.count < sizeof first_four) return std::nullopt;
    return classify(first_four);
}

// Looks beside the data file for a parameter file p_<name> or P_<name> that is recognised.
std::optional<CurrentFile> find_parameter_file(const std::string& argument, Identification& identification) {
    PathParts parts = split_path(argument);
    for (const char* prefix : {"/p_", "/P_"}) {
        std::string name = parts.directory + prefix + parts.base;
        FileDescriptor file = open_file(name);
        if (!file.is_open()) continue;
        ReadResult result;
        std::optional<Identification> found = identify_file(file.get(), result);
        if (found && found->recognised) {
            identification = *found;
            return CurrentFile{std::move(file), name};
        }
    }
    return std::nullopt;
}

bool contains_any(std::string_view text, std::initializer_list<std::string_view> pieces) {
    for (std::string_view piece : pieces) {
        if (text.find(piece) != std::string_view::npos) return true;
    }
    return false;
}

} // namespace

Identification classify(const Byte* first_four) {
    if (first_four[0] == 0x47 && first_four[1] == 0x84 && first_four[2] == 0xF5)
        return {true, first_four[3] == 0xFF};
    if (first_four[0] == 0xF5 && first_four[1] == 0x84 && first_four[2] == 0x47)
        return {true, first_four[3] == 0x00};
    return {false, false};
}

std::optional<Loaded> load_parameter_sector(const std::string& argument) {
    Loaded loaded;
    loaded.current = {open_file(argument), argument};
    if (!loaded.current.file.is_open()) {
        std::printf("Cannot open %s: %s\n", argument.c_str(), std::strerror(errno));
        return std::nullopt;
    }

    ReadResult result;
    std::optional<Identification> identification = identify_file(loaded.current.file.get(), result);
    if (!identification) {
        std::printf("Cannot read file identification word of %s: %s\n", argument.c_str(),
                    short_read_text(result).c_str());
        return std::nullopt;
    }
    if (!identification->recognised) {
        if (std::optional<CurrentFile> parameter_file = find_parameter_file(argument, *identification))
            loaded.current = std::move(*parameter_file);
    }
    loaded.expanded = identification->expanded;

    const std::string& name = loaded.current.name;
    int fd = loaded.current.file.get();
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        std::printf("Cannot seek file image of %s: %s\n", name.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    result = read_sector(fd, loaded.expanded, loaded.sector);
    if (result.count < sector_size(loaded.expanded)) {
        std::printf("Cannot read %s: %s\n", name.c_str(), short_read_text(result).c_str());
        return std::nullopt;
    }

    std::uint32_t word0 = unsigned_at(loaded.sector, 0);
    if (word0 == IDENTIFICATION_SWAPPED) {
        loaded.swapped = true;
        swap_word_bytes(loaded.sector);
    } else if (word0 != IDENTIFICATION) {
        std::printf("Illegal parameter sector in %s\n", argument.c_str());
        return std::nullopt;
    }
    return loaded;
}

Kinds interpretation(std::string_view invocation) {
    auto slash = invocation.rfind('/');
    std::string_view program = slash == std::string_view::npos ? invocation : invocation.substr(slash + 1);
    return {contains_any(program, {"fen", "dar", "FEN", "DAR"}), contains_any(program, {"gil", "GIL"})};
}

Kinds decide_kinds(const Sector& sector, std::string_view invocation) {
    switch (bits_at(sector, ATTRIBUTE_WORD, 0, 7)) {
    case 8: std::puts("FENDAR DATA"); return {true, false};
    case 30: std::puts("TORGIL DATA"); return {false, true};
    default: break;
    }
    Kinds kinds = interpretation(invocation);
    std::fputs("Unknown data", stdout);
    if (kinds.fendar) std::fputs(" interpreted as FENDAR", stdout);
    if (kinds.torgil) std::fputs(" interpreted as TORGIL", stdout);
    std::putchar('\n');
    return kinds;
}

bool load_second_sector(Loaded& loaded, std::int32_t n, Sector& second) {
    CurrentFile& current = loaded.current;
    bool found = read_sector_at(current.file.get(), std::int64_t{n} + 1, loaded.expanded, second);
    if (!found) {
        PathParts parts = split_path(current.name);
        if (parts.base.size() >= 2 && (parts.base[0] == 'p' || parts.base[0] == 'P') &&
            parts.base[1] == '_') {
            std::string data_name = parts.directory + "/" + parts.base.substr(2);
            current.file.close();
            current = {open_file(data_name), data_name};
            if (current.file.is_open()) {
                found = read_sector_at(current.file.get(), n, loaded.expanded, second);
                if (!found) current.file.close();
            }
        }
    }
    if (found && loaded.swapped) swap_word_bytes(second);
    return found;
}

} // namespace parmdump
