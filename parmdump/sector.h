// The parameter sector of a spectrometer data file and the reading of its fields.
//
// Word n of a sector lies at bytes 3n to 3n+2, high byte first, whatever form the host file
// had. Its first 40 words are laid out as a VELTRA directory sector; the acquisition
// parameters follow.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "common/words.h"

namespace parmdump {

using kavolt::Byte;

constexpr int SECTOR_WORDS = 256;
constexpr std::size_t SECTOR_BYTES = SECTOR_WORDS * kavolt::WORD_BYTES;

using Sector = std::array<Byte, SECTOR_BYTES>;

// The identification word in word 0, as it reads in the normal and in the swapped byte order.
constexpr std::uint32_t IDENTIFICATION = 0x4784F5;
constexpr std::uint32_t IDENTIFICATION_SWAPPED = 0xF58447;

// Places of the directory-sector fields.
constexpr int NAME_WORD = 1;
constexpr int SIZE_WORD = 5;
constexpr int DATE_WORD = 10;
constexpr int ATTRIBUTE_WORD = 11;
constexpr int TAG_WORD = 12;
constexpr int COMMENT_WORD = 16;
constexpr std::size_t COMMENT_BYTES = 72;

// Exchanges the first and third byte of every word.
void swap_word_bytes(Sector& sector);

// Field readers by word number: signed (S), unsigned bit fields (U), six BCD digits (B),
// floating value of two words (F), decimal word (D).
std::int32_t signed_at(const Sector& sector, int word);
std::uint32_t unsigned_at(const Sector& sector, int word);
std::int32_t bcd_at(const Sector& sector, int word);
double float_at(const Sector& sector, int word);
double decimal_at(const Sector& sector, int word);
// Bits first ... last of the unsigned word.
std::uint32_t bits_at(const Sector& sector, int word, int first, int last);
bool bit_at(const Sector& sector, int word, int bit);

// The four 6-bit characters of a word, up to the first blank.
std::string chars_at(const Sector& sector, int word);
// The file name NAME.EXT of three words.
std::string name_at(const Sector& sector, int word);
// The 8-bit comment of words 16 to 39.
std::string comment_of(const Sector& sector);
// The host time of a BCD date word with an optional time word (time_word < 0: none).
std::time_t date_at(const Sector& sector, int date_word, int time_word);

} // namespace parmdump
