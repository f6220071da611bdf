#include "parmdump/sector.h"

#include <span>
#include <stdexcept>
#include <utility>

#include "common/text.h"

namespace parmdump {

namespace {

// The place of a field of `words` words starting at word n.
const Byte* place(const Sector& sector, int word, int words = 1) {
    if (word < 0 || word + words > SECTOR_WORDS) throw std::out_of_range("parameter word out of the sector");
    return sector.data() + static_cast<std::size_t>(word) * kavolt::WORD_BYTES;
}

} // namespace

void swap_word_bytes(Sector& sector) {
    for (std::size_t i = 0; i < SECTOR_BYTES; i += kavolt::WORD_BYTES)
        std::swap(sector[i], sector[i + 2]);
}

std::int32_t signed_at(const Sector& sector, int word) {
    return kavolt::get_word(place(sector, word));
}

std::uint32_t unsigned_at(const Sector& sector, int word) {
    return static_cast<std::uint32_t>(kavolt::get_uword(place(sector, word)));
}

std::int32_t bcd_at(const Sector& sector, int word) {
    return kavolt::get_bcd_word(place(sector, word));
}

double float_at(const Sector& sector, int word) {
    return kavolt::get_float(place(sector, word, 2));
}

double decimal_at(const Sector& sector, int word) {
    return kavolt::get_decimal_word(place(sector, word));
}

std::uint32_t bits_at(const Sector& sector, int word, int first, int last) {
    std::uint32_t width_mask = (1u << (last - first + 1)) - 1;
    return (unsigned_at(sector, word) >> first) & width_mask;
}

bool bit_at(const Sector& sector, int word, int bit) {
    return bits_at(sector, word, bit, bit) != 0;
}

std::string chars_at(const Sector& sector, int word) {
    kavolt::WordChars chars;
    kavolt::unpack_chars(chars, place(sector, word));
    return chars;
}

std::string name_at(const Sector& sector, int word) {
    kavolt::FullName name;
    kavolt::name_from_words(name, place(sector, word, 3));
    return name;
}

std::string comment_of(const Sector& sector) {
    std::array<char, COMMENT_BYTES> text;
    kavolt::get_text(text, std::span<const Byte>(place(sector, COMMENT_WORD, 24), COMMENT_BYTES));
    return text.data();
}

std::time_t date_at(const Sector& sector, int date_word, int time_word) {
    return kavolt::get_date(place(sector, date_word), time_word < 0 ? nullptr : place(sector, time_word));
}

} // namespace parmdump
