// KAVOLT words, BCD words and numbers.
//
// A KAVOLT word is 24 bits, held in host memory as three bytes, most significant first.
// These functions take the place of the first byte; the caller guarantees that 3 bytes
// (6 for floating point) are there.
#pragma once

#include <cstdint>

namespace kavolt {

using Byte = std::uint8_t;

constexpr int WORD_BYTES = 3;
constexpr std::int32_t WORD_MASK = 0xFFFFFF;

// Signed 24-bit value, sign-extended from bit 23.
std::int32_t get_word(const Byte* place);
// Unsigned 24-bit value, 0 ... 16777215.
std::int32_t get_uword(const Byte* place);
// Stores the low 24 bits of value; higher bits are dropped. Returns value.
std::int32_t put_word(std::int32_t value, Byte* place);
// The six BCD digits of the word as an integer (groups above 9 are not validated).
std::int32_t get_bcd_word(const Byte* place);
// KAVOLT floating-point number of two words: a 37-bit two's-complement mantissa with 36
// fraction bits (all of word 0, bits 12-0 of word 1) scaled by 2^E, E = bits 23-13 of word 1.
double get_float(const Byte* place);
// Decimal word: 12-bit mantissa in bits 14-3 times 10^(bits 2-0 minus 7).
double get_decimal_word(const Byte* place);

} // namespace kavolt
