#include "parmdump/identify.h"

#include <cstring>
#include <optional>

#include "parmdump/format.h"
#include "veltra/error.h"

namespace parmdump {

namespace {

constexpr std::size_t EXPANDED_SECTOR_BYTES = SECTOR_WORDS * 4;

std::size_t sector_size(bool expanded) {
    return expanded ? EXPANDED_SECTOR_BYTES : SECTOR_BYTES;
}

// Reads one sector at the current offset in the file's form into sector (3 bytes per word,
// high byte first). The count is that of the bytes read from the file.
ReadResult read_sector(InputFile& file, bool expanded, Sector& sector) {
    if (!expanded) return file.read(sector.data(), SECTOR_BYTES);
    std::array<Byte, EXPANDED_SECTOR_BYTES> raw;
    ReadResult result = file.read(raw.data(), raw.size());
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
bool read_sector_at(InputFile& file, std::int64_t index, bool expanded, Sector& sector) {
    std::int64_t offset = index * static_cast<std::int64_t>(sector_size(expanded));
    if (offset < 0 || file.seek(offset) != 0) return false;
    return read_sector(file, expanded, sector).count == sector_size(expanded);
}

// The first four bytes of an open file; nothing when fewer arrive.
std::optional<Identification> identify_file(InputFile& file, ReadResult& result) {
    Byte first_four[4];
    result = file.read(first_four, sizeof first_four);
    if (result.count < sizeof first_four) return std::nullopt;
    return classify(first_four);
}

// Looks beside the data file for a parameter file p_<name> or P_<name> that is recognised.
std::optional<CurrentFile> find_parameter_file(const FileSource& files, const std::string& argument,
                                               Identification& identification) {
    PathParts parts = split_path(argument);
    for (const char* prefix : {"/p_", "/P_"}) {
        std::string name = parts.directory + prefix + parts.base;
        int error = 0;
        std::unique_ptr<InputFile> file = files.open(name, error);
        if (!file) continue;
        ReadResult result;
        std::optional<Identification> found = identify_file(*file, result);
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

Loaded load_parameter_sector(const FileSource& files, const std::string& argument) {
    Loaded loaded;
    loaded.files = &files;
    int error = 0;
    loaded.current = {files.open(argument, error), argument};
    if (!loaded.current.file)
        throw veltra::Error(format("Cannot open %s: %s", argument.c_str(), std::strerror(error)), error);

    ReadResult result;
    std::optional<Identification> identification = identify_file(*loaded.current.file, result);
    if (!identification) {
        throw veltra::Error(format("Cannot read file identification word of %s: %s", argument.c_str(),
                                   short_read_text(result).c_str()),
                            result.error);
    }
    if (!identification->recognised) {
        if (std::optional<CurrentFile> parameter_file = find_parameter_file(files, argument, *identification))
            loaded.current = std::move(*parameter_file);
    }
    loaded.expanded = identification->expanded;

    const std::string& name = loaded.current.name;
    InputFile& file = *loaded.current.file;
    if (int seek_error = file.seek(0)) {
        throw veltra::Error(
            format("Cannot seek file image of %s: %s", name.c_str(), std::strerror(seek_error)), seek_error);
    }
    result = read_sector(file, loaded.expanded, loaded.sector);
    if (result.count < sector_size(loaded.expanded)) {
        throw veltra::Error(format("Cannot read %s: %s", name.c_str(), short_read_text(result).c_str()),
                            result.error);
    }

    std::uint32_t word0 = unsigned_at(loaded.sector, 0);
    if (word0 == IDENTIFICATION_SWAPPED) {
        loaded.swapped = true;
        swap_word_bytes(loaded.sector);
    } else if (word0 != IDENTIFICATION) {
        throw veltra::Error(format("Illegal parameter sector in %s", argument.c_str()));
    }
    return loaded;
}

Kinds interpretation(std::string_view invocation) {
    auto slash = invocation.rfind('/');
    std::string_view program = slash == std::string_view::npos ? invocation : invocation.substr(slash + 1);
    return {contains_any(program, {"fen", "dar", "FEN", "DAR"}), contains_any(program, {"gil", "GIL"})};
}

DataLine decide_kinds(const Sector& sector, Kinds unknown) {
    switch (bits_at(sector, ATTRIBUTE_WORD, 0, 7)) {
    case 8: return {"FENDAR DATA\n", {true, false}};
    case 30: return {"TORGIL DATA\n", {false, true}};
    default: break;
    }
    std::string text = "Unknown data";
    if (unknown.fendar) text += " interpreted as FENDAR";
    if (unknown.torgil) text += " interpreted as TORGIL";
    return {text + "\n", unknown};
}

bool load_second_sector(Loaded& loaded, std::int32_t n, Sector& second) {
    CurrentFile& current = loaded.current;
    bool found = current.file && read_sector_at(*current.file, std::int64_t{n} + 1, loaded.expanded, second);
    if (!found) {
        PathParts parts = split_path(current.name);
        if (parts.base.size() >= 2 && (parts.base[0] == 'p' || parts.base[0] == 'P') &&
            parts.base[1] == '_') {
            std::string data_name = parts.directory + "/" + parts.base.substr(2);
            current.file.reset();
            int error = 0;
            current = {loaded.files->open(data_name, error), data_name};
            if (current.file) {
                found = read_sector_at(*current.file, n, loaded.expanded, second);
                if (!found) current.file.reset();
            }
        }
    }
    if (found && loaded.swapped) swap_word_bytes(second);
    return found;
}

} // namespace parmdump
