// Directory blocks, directory entries and directory sectors: their in-memory records and
// the one decoder and encoder of each.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "common/text.h"
#include "common/words.h"
#include "veltool/image/layout.h"

namespace veltool {

using kavolt::Byte;

// Attribute word bits.
constexpr std::uint32_t ATTR_FIRST_NUMBER = 0377;
constexpr std::uint32_t ATTR_SECOND_NUMBER = 077400;
constexpr std::uint32_t ATTR_X = 0100000; // has a program start address
constexpr std::uint32_t ATTR_C = 0200000;
constexpr std::uint32_t ATTR_P = 0400000;         // protected
constexpr std::uint32_t ATTR_NOT_FILE = 01000000; // listed as an illegal entry
constexpr std::uint32_t ATTR_I = 02000000;
constexpr std::uint32_t ATTR_R = 04000000;
constexpr std::uint32_t FILE_MARKER = 070000000;
constexpr std::uint32_t GENUINE_MASK = FILE_MARKER | ATTR_NOT_FILE;

// Word 0 of a directory sector.
constexpr std::int32_t FILE_MAGIC = 021702365;
constexpr std::int32_t DELETED_MAGIC = 017052376;

constexpr int SECTOR_KIND_FILE = 0;
constexpr int SECTOR_KIND_DELETED = 1;

// Sizes up to this many words are stored in words, longer ones in sectors.
constexpr std::int64_t LARGEST_WORD_SIZE = 0x7FFFFF;
constexpr std::size_t DIRECTORY_HEADER_BYTES = 48;
constexpr std::size_t ENTRY_BYTES = 24;
constexpr std::size_t SECTOR_COMMENT_BYTES = 72;

// The loaded form of a directory sector.
struct DirSector {
    int kind = SECTOR_KIND_FILE;
    std::string full_name, name, extension;
    std::int64_t start = 0;
    std::int64_t size = 0; // words
    std::int32_t program_start = -1;
    std::int32_t user_info_address = -1;
    std::int32_t user_info_size = 0;
    std::int32_t load_address = 0;
    std::time_t date = 0;
    std::uint32_t attributes = 0;
    std::string tag;
    std::string comment;
};

// One directory entry: a file or an EMPTY area.
struct DirEntry {
    bool empty = false;
    int mark = 0; // the commands' own bookkeeping
    std::string full_name, name, extension;
    std::int64_t start = 0;
    std::int64_t size = 0; // words
    std::uint32_t attributes = 0;
    std::string tag;
    std::optional<DirSector> sector;
};

// The directory header words that veltool reads.
struct DirectoryHeader {
    std::int32_t next_block = -1;
    std::int32_t entry_count = 0;
    std::time_t date = 0;
    std::int32_t blocks = 0;
    std::int32_t sectors = 0;
};

// A size word (negative: minus a number of sectors) in words.
std::int64_t words_of_size_word(std::int32_t size_word);
// The size word of a file of `words` words.
std::int32_t size_word_of_file(std::int64_t words);
// Data sectors of a file of `words` words.
constexpr std::int64_t data_sectors(std::int64_t words) {
    return (words + SECTOR_WORDS - 1) / SECTOR_WORDS;
}

// The full name under which a typed or host name is stored: the name converted to KAVOLT
// form and back.
std::string canonical_name(const std::string& host_name);

// Gives a record the full name NAME.EXT; its name and extension follow it, split at the
// first point.
template <class Record>
void set_full_name(Record& record, const std::string& full_name) {
    std::size_t point = full_name.find('.');
    record.full_name = full_name;
    record.name = full_name.substr(0, point);
    record.extension = point == std::string::npos ? std::string() : full_name.substr(point + 1);
}

bool is_genuine(std::uint32_t attributes);

// The date goes through the cache when one is given: every block carries the same one.
DirectoryHeader decode_directory_header(const Byte* block, kavolt::DateCache* dates = nullptr);
// Words 0-15 of block `index` of a directory of `blocks` blocks; the entry count is 0.
void encode_directory_header(Byte* block, std::int64_t index, std::int64_t blocks, std::int64_t sectors,
                             std::time_t date);

DirEntry decode_directory_entry(const Byte* slot);
void encode_directory_entry(const DirEntry& entry, Byte* slot);

// The sector's record, or none when word 0 carries neither magic value. The date goes
// through the cache when one is given.
std::optional<DirSector> decode_directory_sector(const Byte* sector, kavolt::DateCache* dates = nullptr);
// Words 0-15 and the comment; bytes 120-767 are left as they are.
void encode_directory_sector(const DirSector& sector, Byte* bytes);

} // namespace veltool
