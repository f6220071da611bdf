// KAVOLT 6-bit characters, 8-bit text, file names and dates.
#pragma once

#include <ctime>
#include <optional>
#include <span>
#include <string_view>

#include "common/words.h"

namespace kavolt {

// Longest full name NAME.EXT: 8 + 1 + 4 characters.
constexpr int FULL_NAME_LENGTH = 13;

using WordChars = char[5];
using FullName = char[FULL_NAME_LENGTH + 1];

// The word's characters before the first blank (at most 4) and a terminator.
void unpack_chars(WordChars& dest, const Byte* word);
// Exactly 4 characters, blanks as spaces, and a terminator.
void unpack_chars_spaced(WordChars& dest, const Byte* word);
// Stores the first 4 characters of text (up to a NUL) as one word; returns the word.
std::int32_t pack_chars(std::string_view text, Byte* word);

// 8-bit text field of field.size() bytes (bit 7 set on every character, zero filled, last
// byte always zero) to a string in dest, which has the same size as the field.
void get_text(std::span<char> dest, std::span<const Byte> field);
// Stores text (up to a NUL) into the field, bit 7 set, zero filled, last byte zero.
void put_text(std::string_view text, std::span<Byte> field);

// Full name NAME.EXT (NAME alone without extension) from the three name words.
void name_from_words(FullName& dest, const Byte* words);
// Stores the KAVOLT form of the last component of a host path into three words.
void name_to_words(std::string_view host_name, Byte* words);

// The last date converted by get_date, kept by its caller: the files of a disk often share
// their date, and the conversion to host time costs more than reading the whole record.
struct DateCache {
    struct Converted {
        int fields[6];
        std::time_t t;
    };
    std::optional<Converted> last;
};

// Host time of a BCD date word and an optional time word (either place may be null);
// 0 when there is no date. With a cache, a date equal to the last one is not converted again.
std::time_t get_date(const Byte* date, const Byte* time, DateCache* cache = nullptr);
// Stores t (negative: now; 0: no date) as a BCD date word and time word (either may be null).
void put_date(std::time_t t, Byte* date, Byte* time);

} // namespace kavolt
