#include "common/words.h"

#include <cmath>

namespace kavolt {

std::int32_t get_uword(const Byte* place) {
    return static_cast<std::int32_t>((std::uint32_t{place[0]} << 16) | (std::uint32_t{place[1]} << 8) |
                                     std::uint32_t{place[2]});
}

std::int32_t get_word(const Byte* place) {
    std::int32_t value = get_uword(place);
    return (value & 0x800000) ? value - 0x1000000 : value;
}

std::int32_t put_word(std::int32_t value, Byte* place) {
    auto bits = static_cast<std::uint32_t>(value);
    place[0] = static_cast<Byte>(bits >> 16);
    place[1] = static_cast<Byte>(bits >> 8);
    place[2] = static_cast<Byte>(bits);
    return value;
}

std::int32_t get_bcd_word(const Byte* place) {
    std::int32_t word = get_uword(place);
    std::int32_t value = 0;
    std::int32_t weight = 1;
    for (int group = 0; group < 6; ++group) {
        value += ((word >> (4 * group)) & 0xF) * weight;
        weight *= 10;
    }
    return value;
}

double get_float(const Byte* place) {
    // The 37-bit mantissa and the 11-bit exponent are exact in 64-bit integers and in a
    // double, so scaling the signed mantissa once rounds exactly as scaling its magnitude.
    std::int64_t high = get_word(place);
    std::int32_t low = get_uword(place + WORD_BYTES);
    std::int64_t mantissa = high * 8192 + (low & 0x1FFF);
    std::int32_t exponent = (low >> 13) & 0x7FF;
    if (exponent & 0x400) exponent -= 0x800;
    return std::ldexp(static_cast<double>(mantissa), exponent - 36);
}

double get_decimal_word(const Byte* place) {
    std::int32_t word = get_uword(place);
    std::int32_t mantissa = (word >> 3) & 4095;
    std::int32_t power = word & 7;
    double value = mantissa * 0.0000001;
    for (int i = 0; i < power; ++i)
        value *= 10.0;
    return value;
}

} // namespace kavolt
