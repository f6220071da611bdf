// Looking into files of the image: lis, sum and oct. None of them writes to the image.
#include "veltool/commands.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "common/text.h"
#include "veltool/files/file_walk.h"
#include "veltool/files/host_forms.h"
#include "veltool/image/io.h"
#include "veltool/json_output.h"
#include "veltool/octal.h"
#include "veltool/report.h"

namespace veltool {

namespace {

using kavolt::WORD_BYTES;

// Words 0-39 of a directory sector: the fields and the comment.
constexpr std::int64_t SECTOR_HEADER_BYTES = 120;
constexpr std::uint32_t SUM_CARRY = 1u << 24;
constexpr Byte END_OF_TEXT = 0204;

// Hands bytes [offset, offset + bytes) of the image to take(run, length) a run at a time
// until it returns false; a run that does not arrive is fatal once take wants it.
void read_region(const Image& image, std::int64_t offset, std::int64_t bytes,
                 const std::function<bool(Byte*, std::size_t)>& take) {
    std::optional<Transfer> failed = read_runs(image.fd(), offset, bytes, take);
    if (failed) fatal_transfer(*failed, "cannot seek disk image", "cannot read disk sector");
}

std::int64_t data_offset(const DirEntry& entry) {
    return entry.start * SECTOR_BYTES;
}
std::int64_t data_bytes(const DirEntry& entry) {
    return entry.size * WORD_BYTES;
}

// Walks the loaded directory: calls each(entry) for every selected file whose directory sector
// is usable, then reports when nothing was found (with --json, returns the patterns to report
// instead).
template <class Each>
std::optional<std::vector<std::string>> for_each_readable(Image& image, const Options& options, Each each) {
    Selection selection = selection_of(options, false);
    std::int64_t found = for_each_selected(image, selection, [&](DirEntry& entry) {
        if (!load_usable_sector(image, entry)) {
            warn_unusable_sector(image, entry);
            return;
        }
        each(entry);
    });
    if (!options.json) {
        report_if_none_found(image, found, options, selection);
    } else if (found == 0 && !has_letter(options.letters, 'R')) {
        return selection.patterns;
    }
    return std::nullopt;
}

void list_text(Image& image, const DirEntry& entry, bool capitals, std::int64_t line_limit) {
    std::FILE* out = image.out;
    std::fprintf(out, "\nFILE: %s\n-------------------\n\n", entry.full_name.c_str());
    std::int64_t lines = 0;
    read_region(image, data_offset(entry), data_bytes(entry), [&](Byte* piece, std::size_t n) {
        bool ended = false;
        std::size_t length = text_to_host(std::span<Byte>(piece, n), ended);
        for (std::size_t i = 0; i < length; ++i) {
            int c = piece[i];
            if (capitals && c >= 'a' && c <= 'z') c += 'A' - 'a';
            std::putc(c, out);
            if (c == '\n' && ++lines >= line_limit && line_limit > 0) return false;
        }
        return !ended;
    });
    std::fputs("\n\n", out);
}

// The sums of the high, middle and low bytes of the whole words of a run. The bytes are added
// 48 at a time (16 words) into 16-bit lanes, which the compiler adds as vectors, and the lanes
// are brought into the totals before they can overflow: 257 additions of at most 255 each.
std::array<std::uint64_t, WORD_BYTES> byte_sums(const Byte* run, std::size_t n) {
    constexpr std::size_t SPAN = 16 * WORD_BYTES;
    constexpr std::size_t SPANS_PER_LANE_FILL = 257;
    std::array<std::uint64_t, WORD_BYTES> sums{};
    std::size_t i = 0;
    while (n - i >= SPAN) {
        std::array<std::uint16_t, SPAN> lanes{};
        std::size_t spans = std::min((n - i) / SPAN, SPANS_PER_LANE_FILL);
        for (std::size_t s = 0; s < spans; ++s, i += SPAN)
            for (std::size_t k = 0; k < SPAN; ++k)
                lanes[k] = static_cast<std::uint16_t>(lanes[k] + run[i + k]);
        for (std::size_t k = 0; k < SPAN; ++k)
            sums[k % WORD_BYTES] += lanes[k];
    }
    for (; i + WORD_BYTES <= n; i += WORD_BYTES)
        for (std::size_t k = 0; k < WORD_BYTES; ++k)
            sums[k] += run[i + k];
    return sums;
}

// The sum of the data words with end-around carry: a 24-bit one's-complement sum. Adding
// with the carry put back at once ends, for any words that are not all 0, in the total
// brought into 1..2^24-1 by subtracting 2^24-1, so the total is kept and brought in once.
std::uint32_t checksum(const Image& image, const DirEntry& entry) {
    std::uint64_t total = 0;
    read_region(image, data_offset(entry), data_bytes(entry), [&](const Byte* run, std::size_t n) {
        auto [high, middle, low] = byte_sums(run, n);
        total += (high << 16) + (middle << 8) + low;
        return true;
    });
    constexpr std::uint64_t ONES = SUM_CARRY - 1;
    return total == 0 ? 0 : static_cast<std::uint32_t>((total - 1) % ONES + 1);
}

enum class DumpForm { words, mixed, bytes, chars };

struct Dump {
    DumpForm form = DumpForm::words;
    bool stop_at_end_of_text = true; // chars only
};

Dump dump_of(const std::string& letters) {
    Dump dump;
    if (has_letter(letters, 'M')) {
        dump.form = DumpForm::mixed;
    } else if (has_letter(letters, 'B')) {
        dump.form = DumpForm::bytes;
    } else if (has_letter(letters, 'C')) {
        dump.form = DumpForm::chars;
    }
    dump.stop_at_end_of_text = !has_letter(letters, 'E');
    return dump;
}

// Five columns: a printable character with bit 7 set as itself, anything else in octal.
void print_char_item(std::FILE* out, Byte b) {
    if (b >= 0240 && b <= 0376) {
        std::fprintf(out, "  %c  ", b & 0x7F);
    } else {
        std::fprintf(out, "<%.3o>", b);
    }
}

// One word of a dump; false when the region ends at it.
bool dump_word(std::FILE* out, const Byte* word, std::int64_t index, const Dump& dump) {
    bool line_start = index % 4 == 0;
    switch (dump.form) {
    case DumpForm::words:
        if (line_start) std::fprintf(out, "\n%8llo:", octal(index));
        std::fprintf(out, " %8llo", octal(kavolt::get_uword(word)));
        return true;
    case DumpForm::mixed: {
        kavolt::WordChars chars;
        kavolt::unpack_chars_spaced(chars, word);
        std::fprintf(out, "\n%8llo: %8llo  %4s  ", octal(index), octal(kavolt::get_uword(word)), chars);
        for (int i = 0; i < WORD_BYTES; ++i)
            print_char_item(out, word[i]);
        return true;
    }
    case DumpForm::bytes:
        if (line_start) std::fprintf(out, "\n%8llo: ", octal(index));
        for (int i = 0; i < WORD_BYTES; ++i)
            std::fprintf(out, "<%.3o>", word[i]);
        return true;
    case DumpForm::chars:
        if (line_start) std::fprintf(out, "\n%8llo: ", octal(index));
        for (int i = 0; i < WORD_BYTES; ++i) {
            print_char_item(out, word[i]);
            if (word[i] == END_OF_TEXT && dump.stop_at_end_of_text) return false;
        }
        return true;
    }
    return true;
}

// The word index counts from 0 across the pieces of one region.
void dump_region(const Image& image, std::int64_t offset, std::int64_t bytes, const Dump& dump) {
    std::int64_t index = 0;
    read_region(image, offset, bytes, [&](const Byte* piece, std::size_t n) {
        for (std::size_t i = 0; i + WORD_BYTES <= n; i += WORD_BYTES, ++index) {
            if (!dump_word(image.out, piece + i, index, dump)) return false;
        }
        return true;
    });
}

// The directory sector's fields and comment, and its user info words when it has some.
std::int64_t header_bytes(const DirSector& sector) {
    std::int64_t bytes = SECTOR_HEADER_BYTES;
    if (sector.user_info_size > 0) bytes += std::int64_t{WORD_BYTES} * sector.user_info_size;
    return std::min(bytes, SECTOR_BYTES);
}

void dump_file(const Image& image, const DirEntry& entry, bool with_header, const Dump& dump) {
    const char* name = entry.full_name.c_str();
    std::fprintf(image.out, "%-13s   SIZE = %8llo", name, octal(entry.size));
    if (with_header) {
        std::fprintf(image.out, "\n%-13s: FILE HEADER", name);
        dump_region(image, directory_sector_offset(entry), header_bytes(*entry.sector), dump);
        std::fprintf(image.out, "\n%-13s: FILE DATA", name);
    }
    dump_region(image, data_offset(entry), data_bytes(entry), dump);
    std::fputc('\n', image.out);
}

} // namespace

void command_lis(Image& image, const Options& options) {
    bool capitals = has_letter(options.letters, 'U');
    read_directory(image);
    for_each_readable(image, options, [&](DirEntry& entry) {
        list_text(image, entry, capitals, options.line_count);
        drop_directory_sector(entry);
    });
}

void command_sum(Image& image, const Options& options) {
    KeptWarnings kept(image);
    read_directory(image);
    std::vector<const DirEntry*> files;
    allocated_or_fatal("no memory for sorted directory list",
                       [&] { files.reserve(static_cast<std::size_t>(entries_used(image))); });
    auto not_found = for_each_readable(image, options, [&](DirEntry& entry) {
        drop_directory_sector(entry);
        files.push_back(&entry);
    });
    std::stable_sort(files.begin(), files.end(),
                     [](const DirEntry* a, const DirEntry* b) { return compare_by_name(*a, *b) < 0; });
    if (options.json) {
        std::vector<FileSum> sums;
        for (const DirEntry* entry : files)
            sums.push_back({entry, checksum(image, *entry)});
        return print_sums_json(image, kept.texts(), sums, not_found ? &*not_found : nullptr);
    }
    for (const DirEntry* entry : files) {
        std::fprintf(image.out, "%-8s%c%-4s   SIZE = %8llo   CSUM = %8llo\n", entry->name.c_str(),
                     entry->extension.empty() ? ' ' : '.', entry->extension.c_str(), octal(entry->size),
                     octal(checksum(image, *entry)));
    }
}

void command_oct(Image& image, const Options& options) {
    bool with_header = has_letter(options.letters, 'H');
    Dump dump = dump_of(options.letters);
    read_directory(image);
    for_each_readable(image, options, [&](DirEntry& entry) {
        dump_file(image, entry, with_header, dump);
        drop_directory_sector(entry);
    });
}

} // namespace veltool
