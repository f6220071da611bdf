#include "veltool/files/host_forms.h"

#include <algorithm>
#include <cstring>

#include "veltool/image/layout.h"
#include "veltool/options.h"

namespace veltool {

namespace {

constexpr Byte END_OF_TEXT = 0x04;
constexpr Byte LINE_FEED = 0x0A;
constexpr Byte FORM_FEED = 0x0C;
constexpr Byte CARRIAGE_RETURN = 0x0D;
constexpr Byte HIGH_BIT = 0x80;

bool ends_text(Byte c) {
    return c == 0 || c == END_OF_TEXT;
}

// The texts are converted in blocks: a block without any of the few bytes that need a
// decision is converted by one plain loop over it, which the compiler turns into vector code.
constexpr std::size_t BLOCK = 64;

Byte text_byte(Byte b) {
    return b & ~HIGH_BIT;
}

// True for a whole block in which no byte ends the text, nor is `also` (when not 0).
bool plain_block(const Byte* bytes, std::size_t n, Byte also) {
    if (n != BLOCK) return false;
    Byte special = 0;
    for (std::size_t i = 0; i < BLOCK; ++i) {
        Byte c = text_byte(bytes[i]);
        special |= static_cast<Byte>((c == 0) | (c == END_OF_TEXT) | (c == also));
    }
    return special == 0;
}

} // namespace

HostForm host_form_of(const std::string& letters) {
    HostForm form;
    form.with_sector = !has_letter(letters, 'A') && !has_letter(letters, 'D');
    if (has_letter(letters, 'B')) form.with_sector = true;
    form.packed = has_letter(letters, 'P');
    form.text = has_letter(letters, 'A') && !form.with_sector && !form.packed;
    return form;
}

ImageRange source_range(std::int64_t start, std::int64_t words, HostForm form) {
    ImageRange range{start * SECTOR_BYTES, kavolt::WORD_BYTES * words};
    if (form.with_sector) {
        range.offset -= SECTOR_BYTES;
        range.length += SECTOR_BYTES;
    }
    return range;
}

bool usable_host_name(const std::string& full_name) {
    return !full_name.empty() && full_name != "." && full_name != ".." &&
           full_name.find('/') == std::string::npos;
}

std::int64_t host_length(std::int64_t source_bytes, HostForm form) {
    if (!form.packed) return source_bytes;
    return source_bytes / kavolt::WORD_BYTES * static_cast<std::int64_t>(PACKED_BYTES);
}

std::size_t text_to_host(std::span<Byte> piece, bool& ended) {
    Byte* bytes = piece.data();
    for (std::size_t at = 0; at < piece.size(); at += BLOCK) {
        std::size_t n = std::min(BLOCK, piece.size() - at);
        Byte* block = bytes + at;
        if (plain_block(block, n, 0)) {
            for (std::size_t i = 0; i < BLOCK; ++i) {
                Byte c = text_byte(block[i]);
                block[i] = c == CARRIAGE_RETURN ? LINE_FEED : c;
            }
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            Byte c = text_byte(block[i]);
            if (c == CARRIAGE_RETURN) c = LINE_FEED;
            if (ends_text(c)) {
                ended = true;
                return at + i;
            }
            block[i] = c;
        }
    }
    return piece.size();
}

std::size_t TextEncoder::encode(std::span<const Byte> piece, Byte* out) {
    Byte* to = out;
    for (std::size_t at = 0; at < piece.size() && !ended_; at += BLOCK) {
        std::size_t n = std::min(BLOCK, piece.size() - at);
        const Byte* block = piece.data() + at;
        if (!after_carriage_return_ && plain_block(block, n, CARRIAGE_RETURN)) {
            Byte converted[BLOCK]; // apart from `to`, so that the loop needs no overlap check
            for (std::size_t i = 0; i < BLOCK; ++i) {
                Byte c = text_byte(block[i]);
                converted[i] = (c == LINE_FEED ? CARRIAGE_RETURN : c) | HIGH_BIT;
            }
            std::memcpy(to, converted, BLOCK);
            to += BLOCK;
            ends_with_form_feed_ = text_byte(block[BLOCK - 1]) == FORM_FEED;
            continue;
        }
        for (std::size_t i = 0; i < n && !ended_; ++i)
            to = encode_byte(block[i], to);
    }
    return static_cast<std::size_t>(to - out);
}

Byte* TextEncoder::encode_byte(Byte b, Byte* to) {
    Byte c = text_byte(b);
    if (ends_text(c)) {
        ended_ = true;
        return to;
    }
    bool folded = c == LINE_FEED && after_carriage_return_;
    after_carriage_return_ = c == CARRIAGE_RETURN;
    if (folded) return to;
    ends_with_form_feed_ = c == FORM_FEED;
    if (c == LINE_FEED) c = CARRIAGE_RETURN;
    *to++ = c | HIGH_BIT;
    return to;
}

std::vector<Byte> TextEncoder::closing() const {
    std::vector<Byte> bytes;
    if (!ends_with_form_feed_) bytes.push_back(FORM_FEED | HIGH_BIT);
    bytes.push_back(END_OF_TEXT | HIGH_BIT);
    return bytes;
}

std::vector<Byte> words_to_packed(std::span<const Byte> piece) {
    std::size_t words = piece.size() / kavolt::WORD_BYTES;
    std::vector<Byte> out(words * PACKED_BYTES);
    for (std::size_t i = 0; i < words; ++i) {
        auto value = static_cast<std::uint32_t>(kavolt::get_word(&piece[i * kavolt::WORD_BYTES]));
        for (std::size_t k = 0; k < PACKED_BYTES; ++k)
            out[i * PACKED_BYTES + k] = static_cast<Byte>(value >> (8 * k));
    }
    return out;
}

std::vector<Byte> packed_to_words(std::span<const Byte> piece) {
    std::size_t words = piece.size() / PACKED_BYTES;
    std::vector<Byte> out(words * kavolt::WORD_BYTES);
    for (std::size_t i = 0; i < words; ++i) {
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < PACKED_BYTES; ++k)
            value |= static_cast<std::uint32_t>(piece[i * PACKED_BYTES + k]) << (8 * k);
        kavolt::put_word(static_cast<std::int32_t>(value), &out[i * kavolt::WORD_BYTES]);
    }
    return out;
}

} // namespace veltool
