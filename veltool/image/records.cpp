#include "veltool/image/records.h"

#include <span>

#include "common/text.h"

namespace veltool {

using kavolt::get_uword;
using kavolt::get_word;
using kavolt::put_word;
using kavolt::WORD_BYTES;

namespace {

const Byte* word(const Byte* base, int index) {
    return base + index * WORD_BYTES;
}
Byte* word(Byte* base, int index) {
    return base + index * WORD_BYTES;
}

std::string chars_of(const Byte* place) {
    kavolt::WordChars chars;
    kavolt::unpack_chars(chars, place);
    return chars;
}

std::string full_name_of(const Byte* words) {
    kavolt::FullName name;
    kavolt::name_from_words(name, words);
    return name;
}

// Name, extension and full name from three name words: the name is the characters of the
// first two, the full name the name and, where the third has any, a point and its characters.
template <class Record>
void decode_name(Record& record, const Byte* words) {
    kavolt::WordChars first, second, extension;
    kavolt::unpack_chars(first, words);
    kavolt::unpack_chars(second, word(words, 1));
    kavolt::unpack_chars(extension, word(words, 2));
    record.name.assign(first);
    record.name.append(second);
    record.extension.assign(extension);
    record.full_name = record.name;
    if (!record.extension.empty()) record.full_name.append(1, '.').append(record.extension);
}

} // namespace

std::int64_t words_of_size_word(std::int32_t size_word) {
    return size_word < 0 ? -static_cast<std::int64_t>(size_word) * SECTOR_WORDS : size_word;
}

std::int32_t size_word_of_file(std::int64_t words) {
    return static_cast<std::int32_t>(words <= LARGEST_WORD_SIZE ? words : -data_sectors(words));
}

std::string canonical_name(const std::string& host_name) {
    Byte words[3 * WORD_BYTES];
    kavolt::name_to_words(host_name, words);
    return full_name_of(words);
}

bool is_genuine(std::uint32_t attributes) {
    return (attributes & GENUINE_MASK) == FILE_MARKER;
}

DirectoryHeader decode_directory_header(const Byte* block, kavolt::DateCache* dates) {
    DirectoryHeader header;
    header.next_block = get_word(word(block, 1));
    header.entry_count = get_word(word(block, 2));
    header.date = kavolt::get_date(word(block, 3), nullptr, dates);
    header.blocks = get_word(word(block, 5));
    header.sectors = get_word(word(block, 6));
    return header;
}

void encode_directory_header(Byte* block, std::int64_t index, std::int64_t blocks, std::int64_t sectors,
                             std::time_t date) {
    for (std::size_t i = 0; i < DIRECTORY_HEADER_BYTES; ++i)
        block[i] = 0;
    put_word(static_cast<std::int32_t>(DIRECTORY_SECTOR + index), word(block, 0));
    put_word(index == blocks - 1 ? -1 : static_cast<std::int32_t>(DIRECTORY_SECTOR + 1 + index),
             word(block, 1));
    kavolt::put_date(date, word(block, 3), nullptr);
    put_word(static_cast<std::int32_t>(blocks), word(block, 5));
    put_word(static_cast<std::int32_t>(sectors), word(block, 6));
}

DirEntry decode_directory_entry(const Byte* slot) {
    DirEntry entry;
    if (get_word(slot) == -1) {
        entry.empty = true;
    } else {
        decode_name(entry, slot);
        entry.tag = chars_of(word(slot, 6));
        entry.attributes = static_cast<std::uint32_t>(get_uword(word(slot, 5)));
    }
    entry.start = get_word(word(slot, 3));
    entry.size = words_of_size_word(get_word(word(slot, 4)));
    return entry;
}

void encode_directory_entry(const DirEntry& entry, Byte* slot) {
    for (std::size_t i = 0; i < ENTRY_BYTES; ++i)
        slot[i] = 0;
    if (entry.empty) {
        for (int i = 0; i < 3; ++i)
            put_word(-1, word(slot, i));
        put_word(static_cast<std::int32_t>(-(entry.size / SECTOR_WORDS)), word(slot, 4));
    } else {
        kavolt::name_to_words(entry.full_name, slot);
        put_word(size_word_of_file(entry.size), word(slot, 4));
        put_word(static_cast<std::int32_t>(entry.attributes), word(slot, 5));
        kavolt::pack_chars(entry.tag, word(slot, 6));
    }
    put_word(static_cast<std::int32_t>(entry.start), word(slot, 3));
}

std::optional<DirSector> decode_directory_sector(const Byte* bytes, kavolt::DateCache* dates) {
    DirSector sector;
    std::int32_t magic = get_uword(bytes);
    if (magic == FILE_MAGIC) {
        sector.kind = SECTOR_KIND_FILE;
    } else if (magic == DELETED_MAGIC) {
        sector.kind = SECTOR_KIND_DELETED;
    } else {
        return std::nullopt;
    }
    decode_name(sector, word(bytes, 1));
    sector.start = get_word(word(bytes, 4));
    sector.size = words_of_size_word(get_word(word(bytes, 5)));
    sector.program_start = get_word(word(bytes, 6));
    sector.user_info_address = get_word(word(bytes, 7));
    sector.user_info_size = get_word(word(bytes, 8));
    sector.load_address = get_word(word(bytes, 9));
    sector.date = kavolt::get_date(word(bytes, 10), nullptr, dates);
    sector.attributes = static_cast<std::uint32_t>(get_uword(word(bytes, 11)));
    sector.tag = chars_of(word(bytes, 12));
    char comment[SECTOR_COMMENT_BYTES];
    kavolt::get_text(comment, std::span<const Byte>(word(bytes, 16), SECTOR_COMMENT_BYTES));
    sector.comment = comment;
    return sector;
}

void encode_directory_sector(const DirSector& sector, Byte* bytes) {
    put_word(sector.kind == SECTOR_KIND_FILE ? FILE_MAGIC : DELETED_MAGIC, bytes);
    kavolt::name_to_words(sector.full_name, word(bytes, 1));
    put_word(static_cast<std::int32_t>(sector.start), word(bytes, 4));
    put_word(size_word_of_file(sector.size), word(bytes, 5));
    put_word(sector.program_start, word(bytes, 6));
    put_word(sector.user_info_address, word(bytes, 7));
    put_word(sector.user_info_size, word(bytes, 8));
    put_word(sector.load_address, word(bytes, 9));
    kavolt::put_date(sector.date, word(bytes, 10), nullptr);
    put_word(static_cast<std::int32_t>(sector.attributes), word(bytes, 11));
    kavolt::pack_chars(sector.tag, word(bytes, 12));
    for (int i = 13; i < 16; ++i)
        put_word(0, word(bytes, i));
    kavolt::put_text(sector.comment, std::span<Byte>(word(bytes, 16), SECTOR_COMMENT_BYTES));
}

} // namespace veltool
