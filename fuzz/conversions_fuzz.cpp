// The KAVOLT conversions on arbitrary bytes: words and numbers, 6-bit characters, 8-bit
// text, file names and dates, with the round trips that must hold.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/words.h"
#include "veltool/image/records.h"

using kavolt::Byte;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<Byte> words(18, 0); // six words
    std::memcpy(words.data(), data, std::min(size, words.size()));
    const Byte* w = words.data();

    Byte stored[3];
    if (kavolt::put_word(kavolt::get_word(w), stored) != kavolt::get_word(w) ||
        std::memcmp(stored, w, 3) != 0)
        std::abort();
    if (kavolt::get_uword(w) != (kavolt::get_word(w) & kavolt::WORD_MASK)) std::abort();
    kavolt::get_bcd_word(w);
    kavolt::get_float(w);
    kavolt::get_decimal_word(w);

    kavolt::WordChars chars;
    kavolt::WordChars spaced;
    kavolt::unpack_chars(chars, w);
    kavolt::unpack_chars_spaced(spaced, w);
    kavolt::FullName full;
    kavolt::name_from_words(full, w);
    Byte name_words[9];
    kavolt::name_to_words(full, name_words);
    kavolt::name_from_words(full, name_words);

    std::time_t t = kavolt::get_date(w, w + 3);
    // A stored date reads back as the same words (years have two digits, so not every t
    // comes back itself).
    Byte date[3], time[3], date_again[3], time_again[3];
    kavolt::put_date(t, date, time);
    kavolt::put_date(kavolt::get_date(date, time), date_again, time_again);
    if (t != 0 && (std::memcmp(date, date_again, 3) != 0 || std::memcmp(time, time_again, 3) != 0))
        std::abort();

    // The rest as host text: a name, a text field and 6-bit characters.
    std::string text(reinterpret_cast<const char*>(data) + std::min(size, words.size()),
                     size - std::min(size, words.size()));
    veltool::canonical_name(text);
    kavolt::name_to_words(text, name_words);
    kavolt::pack_chars(text, stored);
    std::vector<Byte> field(1 + text.size() % 80);
    kavolt::put_text(text, field);
    std::vector<char> back(field.size());
    kavolt::get_text(back, field);
    return 0;
}
