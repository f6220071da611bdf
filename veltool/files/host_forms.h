// The forms a file takes on the host when rea writes it out and wri takes it in: file image
// (directory sector and data), data alone, host text, and 4-byte integers, one per word.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/words.h"

namespace veltool {

using kavolt::Byte;

// The three switches of the transfer commands, decided from their letters before the
// directory is read.
struct HostForm {
    bool with_sector = true; // the host file starts with the directory sector
    bool text = false;       // host text
    bool packed = false;     // one 4-byte integer, least significant byte first, per word
};

// A D B P: with-sector unless A or D, but B wins; text with A unless with-sector or P.
HostForm host_form_of(const std::string& letters);

// True when a full name read from the image can name a host file in a folder: not empty, not
// "." or "..", and without a "/" (which would lead out of the folder).
bool usable_host_name(const std::string& full_name);

// The bytes of the image that a file's host form is made from: its data, after its
// directory sector or with it.
struct ImageRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};
ImageRange source_range(std::int64_t start, std::int64_t words, HostForm form);
// Bytes of the host form made from `source_bytes` bytes of the image. Not for text, whose
// length depends on the bytes themselves.
std::int64_t host_length(std::int64_t source_bytes, HostForm form);

// KAVOLT text to host text, in place: bit 7 cleared, carriage return to line feed, the
// first NUL or end-of-text ends the text. Returns the number of bytes of the piece that are
// text; `ended` is set when the end of the text lies in this piece.
std::size_t text_to_host(std::span<Byte> piece, bool& ended);

// Host text to KAVOLT text, piece by piece: bit 7 cleared, a line feed to a carriage return,
// then bit 7 set; a carriage return followed by a line feed (also across two pieces) is one
// line end. The first NUL or end-of-text ends the text.
class TextEncoder {
  public:
    // Writes the KAVOLT text of the piece to out, which has room for piece.size() bytes, and
    // returns its length; the bytes after the end are ignored.
    std::size_t encode(std::span<const Byte> piece, Byte* out);
    bool ended() const { return ended_; }
    // The bytes that close the text: a form feed unless the text ended with one, then an
    // end-of-text.
    std::vector<Byte> closing() const;

  private:
    // One byte of the text onto `to`; returns where the next one goes.
    Byte* encode_byte(Byte b, Byte* to);

    bool ended_ = false;
    bool after_carriage_return_ = false;
    bool ends_with_form_feed_ = false;
};

// Bytes of one word in the packed form.
constexpr std::size_t PACKED_BYTES = 4;

// Words of 3 bytes to 4-byte integers (the word's signed value), piece.size() / 3 of them.
std::vector<Byte> words_to_packed(std::span<const Byte> piece);
// 4-byte integers to words of their low 24 bits, piece.size() / 4 of them.
std::vector<Byte> packed_to_words(std::span<const Byte> piece);

} // namespace veltool
