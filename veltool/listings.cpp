#include "veltool/listings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "veltool/commands.h"
#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/json_output.h"
#include "veltool/octal.h"
#include "veltool/report.h"
#include "veltool/selection.h"

namespace veltool {

namespace {

constexpr unsigned DEFAULT_MASK = 0x418;
constexpr unsigned FIRST_LINE_FIELDS = LIST_ATTRIBUTES | LIST_NUMBERS | LIST_SECTORS;
constexpr unsigned SECOND_LINE_FIELDS = 0x1f0;

FileLine line_of(const DirEntry& entry) {
    return FileLine{entry.name, entry.extension, entry.full_name, entry.attributes,
                    entry.size, entry.start,     entry.tag,       entry.sector ? &*entry.sector : nullptr};
}

void add_free(Totals& totals, const DirEntry& empty) {
    totals.free += empty.size;
    totals.largest = std::max(totals.largest, empty.size);
}

void print_heading(Image& image, unsigned mask) {
    if (!(mask & LIST_HEADER)) return;
    std::fprintf(image.out, "%s\n", image.disk_comment.c_str());
    std::fprintf(image.out, "ACTUAL DATE: %-9s", listing_date(image, std::time(nullptr)).c_str());
    std::fprintf(image.out, "   DISK INITIALIZATION OR LAST DRE: %-9s\n\n",
                 listing_date(image, image.directory_date).c_str());
}

// A listing line built up field by field and handed to the output at once, as the printf
// fields "%-Ns", "%Nllo" and "%Nlld" would have written it: a full directory has thousands
// of lines of a dozen fields each.
class LineText {
  public:
    explicit LineText(std::FILE* out) : out_(out) {}
    LineText& text(std::string_view s) {
        line_.append(s);
        return *this;
    }
    // A string up to its first NUL, as "%s" takes it.
    LineText& field(const std::string& s) { return text(std::string_view(s).substr(0, s.find('\0'))); }
    LineText& left(const std::string& s, std::size_t width) {
        std::size_t before = line_.size();
        field(s);
        return pad(width, line_.size() - before);
    }
    LineText& octal_field(unsigned long long value, std::size_t width) { return number(value, 8, width); }
    LineText& decimal_field(long long value, std::size_t width) { return number(value, 10, width); }
    void print() {
        std::fwrite(line_.data(), 1, line_.size(), out_);
        line_.clear();
    }

  private:
    template <typename Integer>
    LineText& number(Integer value, int base, std::size_t width) {
        char digits[24];
        auto end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
        return right(std::string_view(digits, static_cast<std::size_t>(end - digits)), width);
    }
    LineText& right(std::string_view digits, std::size_t width) {
        pad(width, digits.size());
        return text(digits);
    }
    LineText& pad(std::size_t width, std::size_t used) {
        if (used < width) line_.append(width - used, ' ');
        return *this;
    }
    std::FILE* out_;
    std::string line_;
};

void print_free_line(std::FILE* to, const DirEntry& entry, unsigned mask) {
    LineText out(to);
    out.text("[EMPTY]      ");
    if (mask & LIST_ATTRIBUTES) out.text("      ");
    if (mask & LIST_NUMBERS) out.text("        ");
    if (mask & LIST_SECTORS) out.text(" (").octal_field(octal(entry.size / SECTOR_WORDS), 8).text(")");
    if (mask & LIST_KWORDS) out.text(" [").decimal_field(entry.size / K_WORDS, 7).text("K]");
    if (mask & LIST_START) out.text("  :").octal_field(octal(entry.start), 8);
    out.text("\n").print();
}

// Name, attribute letters, numbers, sectors and K: the fields before the directory sector's.
void print_line_head(std::FILE* to, const FileLine& line, unsigned mask) {
    LineText out(to);
    out.left(line.name, 8).text(line.extension.empty() ? " " : ".").left(line.extension, 4);
    if (mask & LIST_ATTRIBUTES) out.text(" '").left(attribute_letters(line.attributes), 4);
    if (mask & LIST_NUMBERS) {
        out.text(" ").decimal_field(line.attributes & ATTR_FIRST_NUMBER, 3);
        out.text("!").decimal_field((line.attributes & ATTR_SECOND_NUMBER) >> 8, 3);
    }
    if (mask & LIST_SECTORS) out.text(" (").octal_field(octal(data_sectors(line.size)), 8).text(")");
    if (mask & LIST_KWORDS) out.text(" [").decimal_field((line.size + K_WORDS - 1) / K_WORDS, 7).text("K]");
    out.print();
}

// The fields before the directory sector's, and the end of the first line when any of
// attributes, numbers or sectors put the rest on a second line.
void print_first_line(std::FILE* to, const FileLine& line, unsigned mask) {
    print_line_head(to, line, mask);
    if (mask & FIRST_LINE_FIELDS) std::fputc('\n', to);
}

void print_line_rest(Image& image, const FileLine& line, unsigned mask) {
    LineText out(image.out);
    if (const DirSector* s = line.sector) {
        if (mask & LIST_ADDRESSES) {
            out.octal_field(octal(s->load_address), 8)
                .text("-")
                .octal_field(octal(s->load_address + line.size - 1), 8);
            if (s->program_start >= 0) {
                out.text(";").octal_field(octal(s->program_start), 8);
            } else {
                out.text("         ");
            }
        }
        if (mask & LIST_USER_INFO) {
            if (s->user_info_address >= 0 && s->user_info_size >= 1) {
                out.text(" +").octal_field(octal(s->user_info_address), 8);
                out.text("#").octal_field(octal(s->user_info_size), 3);
            } else {
                out.text("              ");
            }
        }
        if (mask & LIST_DATE) out.text(" ").field(listing_date(image, s->date));
    }
    if (mask & LIST_START) out.text(" :").octal_field(octal(line.start), 8);
    if ((mask & LIST_TAG) && !line.tag.empty()) out.text(" $").left(line.tag, 4);
    if ((mask & SECOND_LINE_FIELDS) || !(mask & FIRST_LINE_FIELDS)) out.text("\n");
    if ((mask & LIST_COMMENT) && line.sector) out.text("\\").field(line.sector->comment).text("\n");
    out.print();
}

void print_illegal_line(std::FILE* out, const DirEntry& entry, unsigned mask) {
    print_line_head(out, line_of(entry), mask);
    if (mask & LIST_START) std::fprintf(out, "  :%8llo", octal(entry.start));
    if (mask & LIST_TAG) {
        if (entry.tag.empty()) {
            std::fprintf(out, "     ");
        } else {
            std::fprintf(out, " $%-4s", entry.tag.c_str());
        }
    }
    std::fprintf(out, "   *** ILLEGAL ENTRY ***\n");
}

void print_summary(Image& image, const Totals& totals, unsigned mask) {
    std::FILE* out = image.out;
    if (mask & LIST_SUMMARY) {
        auto amount = [mask, out](const char* label, std::int64_t words) {
            std::fprintf(out, "%s%7lld K", label, static_cast<long long>(words / K_WORDS));
            if (mask & LIST_SECTORS) {
                std::fprintf(out, "WORDS = %7lld SECTORS\n", static_cast<long long>(words / SECTOR_WORDS));
            } else {
                std::fprintf(out, "\n");
            }
        };
        std::fprintf(out, "\n");
        amount("SPACE AVAILABLE: ", totals.free);
        amount("LARGEST EMPTY:   ", totals.largest);
    }
    if (mask & LIST_HEADER) {
        std::fprintf(out, "FILE ENTRIES USED:  %4lld of %4lld\n", static_cast<long long>(entries_used(image)),
                     static_cast<long long>(directory_capacity(image)));
    }
}

class TextListing : public ListingOutput {
  public:
    TextListing(Image& image, unsigned mask) : image_(image), mask_(mask) {}
    void heading() override { print_heading(image_, mask_); }
    void free_area(const DirEntry& entry) override { print_free_line(image_.out, entry, mask_); }
    void illegal_entry(const DirEntry& entry) override { print_illegal_line(image_.out, entry, mask_); }
    void file_start(const FileLine& line) override { print_first_line(image_.out, line, mask_); }
    void file_end(const FileLine& line) override { print_line_rest(image_, line, mask_); }
    void new_group() override { std::fputc('\n', image_.out); }
    void summary(const Totals& totals) override { print_summary(image_, totals, mask_); }

  private:
    Image& image_;
    unsigned mask_;
};

// The mask of the options: a JSON listing without -o has every field.
unsigned mask_of(const Options& options) {
    return options.json && options.letters.empty() ? 0xfff : listing_mask(options.letters);
}

// The listing's output for the options: text, or with --json a JSON document.
std::unique_ptr<ListingOutput> listing_output(Image& image, const Options& options, const char* command) {
    unsigned mask = mask_of(options);
    if (options.json) return json_listing(image, command, mask);
    return std::make_unique<TextListing>(image, mask);
}

// Loads the entry's directory sector with the cross-check and keeps it only when it
// carries the file magic.
void load_file_sector(Image& image, DirEntry& entry, std::int64_t image_bytes, MappedWalk& walk) {
    read_directory_record(image, entry, image_bytes, walk);
    if (entry.sector && entry.sector->kind != SECTOR_KIND_FILE) drop_directory_sector(entry);
}

// The -t bound of sdi: a letter and a day, month and year (today's where not given).
struct DateBound {
    char letter = '\0';
    int day = 0, month = 0, year = 0;
};

DateBound date_bound_of(const std::string& text) {
    DateBound bound;
    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    bound.day = today.tm_mday;
    bound.month = today.tm_mon + 1;
    bound.year = today.tm_year + 1900;
    int year = 0;
    if (std::sscanf(text.c_str(), "%c%2d/%2d/%2d", &bound.letter, &bound.day, &bound.month, &year) == 4) {
        bound.year = year <= 69 ? 2000 + year : 1900 + year;
    }
    return bound;
}

bool date_passes(const DateBound& bound, std::time_t date) {
    std::tm file{};
    localtime_r(&date, &file);
    bool same_year = file.tm_year + 1900 == bound.year;
    bool same_month = same_year && file.tm_mon + 1 == bound.month;
    switch (bound.letter) {
    case 'D':
    case 'd':
    case 'A':
    case 'a': {
        bool invalid = bound.day < 1 || bound.day > 31 || bound.month < 1 || bound.month > 12;
        return (same_month && file.tm_mday == bound.day) || (invalid && date == 0);
    }
    case 'M':
    case 'm': return same_month;
    case 'Y':
    case 'y':
    case 'J':
    case 'j': return same_year;
    default: return true;
    }
}

} // namespace

std::string attribute_letters(std::uint32_t attributes) {
    std::string letters;
    bool r = attributes & ATTR_R, i = attributes & ATTR_I;
    letters += r == i ? 'A' : r ? 'R' : 'I';
    if (attributes & ATTR_X) letters += 'X';
    if (attributes & ATTR_P) letters += 'P';
    if (attributes & ATTR_C) letters += 'C';
    return letters;
}

void find_deleted_files(SectorScan& scan, const DirEntry& area,
                        const std::function<void(std::int64_t, DirSector&)>& each) {
    std::int64_t last = area.start + area.size / SECTOR_WORDS;
    for (std::int64_t s = area.start; s <= last; ++s) {
        std::optional<DirSector> found = deleted_file_at(scan, s, last);
        if (found) each(s, *found);
    }
}

unsigned listing_mask(const std::string& letters) {
    if (letters.empty()) return DEFAULT_MASK;
    switch (std::toupper(static_cast<unsigned char>(letters[0]))) {
    case 'B': return 0x408;
    case 'C': return 0xe58;
    case 'F': return 0xfff;
    case 'N': return 0;
    default: break;
    }
    std::int64_t value = DEFAULT_MASK;
    scan_integer(letters, value);
    return static_cast<unsigned>(value);
}

std::string listing_date(Image& image, std::time_t t) {
    auto& last = image.listing_date;
    if (last && last->first == t) return last->second;
    std::tm calendar{};
    if (localtime_r(&t, &calendar) == nullptr) return "";
    char text[64];
    std::size_t length = std::strftime(text, sizeof text, "%d.%b.%y", &calendar);
    last.emplace(t, std::string(text, std::min<std::size_t>(length, 9)));
    return last->second;
}

void command_dir(Image& image, const Options& options) {
    std::unique_ptr<ListingOutput> out = listing_output(image, options, "dir");
    unsigned mask = mask_of(options);
    read_directory(image);
    std::int64_t image_bytes = file_size(image.fd(), "cannot stat disk image");
    MappedWalk walk(image.fd());
    Selection selection = selection_of(options, true);
    out->heading();
    Totals totals;
    for (auto it = image.directory_list.begin(); it != image.directory_list.end(); ++it) {
        DirEntry& entry = *it;
        if (entry.empty) {
            add_free(totals, entry);
            if ((mask & LIST_HEADER) && selection.patterns.empty()) out->free_area(entry);
            continue;
        }
        if (!entry_selected(selection, entry.tag, entry.full_name)) continue;
        if (entry.attributes & ATTR_NOT_FILE) {
            out->illegal_entry(entry);
            continue;
        }
        // Before the load, so that its warning or error starts a line of its own.
        out->file_start(line_of(entry));
        // The next file's record comes from memory while this one is read and listed.
        if (auto next = std::next(it); next != image.directory_list.end() && !next->empty)
            prefetch_directory_record(*next, walk);
        load_file_sector(image, entry, image_bytes, walk);
        out->file_end(line_of(entry));
    }
    out->summary(totals);
}

void command_ddi(Image& image, const Options& options) {
    std::unique_ptr<ListingOutput> out = listing_output(image, options, "ddi");
    unsigned mask = mask_of(options);
    read_directory(image);
    Selection selection = selection_of(options, true);
    out->heading();
    Totals totals;
    SectorScan scan(image);
    for (const DirEntry& entry : image.directory_list) {
        if (!entry.empty) continue;
        add_free(totals, entry);
        if ((mask & LIST_HEADER) && selection.patterns.empty()) out->free_area(entry);
        find_deleted_files(scan, entry, [&](std::int64_t s, const DirSector& found) {
            if (!entry_selected(selection, found.tag, found.full_name)) return;
            FileLine line{found.name, found.extension, found.full_name, found.attributes, found.size,
                          s,          found.tag,       &found};
            out->file_start(line);
            out->file_end(line);
        });
    }
    out->summary(totals);
}

void command_sdi(Image& image, const Options& options) {
    std::unique_ptr<ListingOutput> out = listing_output(image, options, "sdi");
    read_directory(image);
    std::vector<DirEntry*> files;
    allocated_or_fatal("no memory for sorted directory list",
                       [&] { files.reserve(static_cast<std::size_t>(entries_used(image))); });
    Selection selection = selection_of(options, true);
    bool by_date = options.sort_mode == SortMode::by_date;
    DateBound bound = date_bound_of(options.date_bound);
    std::int64_t image_bytes = file_size(image.fd(), "cannot stat disk image");
    MappedWalk walk(image.fd());
    out->heading();
    Totals totals;
    for (DirEntry& entry : image.directory_list) {
        if (entry.empty) {
            add_free(totals, entry);
            continue;
        }
        if (!entry_selected(selection, entry.tag, entry.full_name) || (entry.attributes & ATTR_NOT_FILE))
            continue;
        load_file_sector(image, entry, image_bytes, walk);
        if (!entry.sector) continue;
        if (by_date && !date_passes(bound, entry.sector->date)) continue;
        files.push_back(&entry);
    }

    auto compare = [&options](const DirEntry& a, const DirEntry& b) {
        switch (options.sort_mode) {
        case SortMode::by_size: return compare_by_size(a, b, options.sort_direction);
        case SortMode::by_date: return compare_by_date(a, b, options.sort_direction);
        default: return compare_by_name(a, b);
        }
    };
    std::stable_sort(files.begin(), files.end(),
                     [&compare](const DirEntry* a, const DirEntry* b) { return compare(*a, *b) < 0; });

    auto group_of = [&options](const DirEntry& e) -> std::int64_t {
        switch (options.sort_mode) {
        case SortMode::by_size: return data_sectors(e.size);
        case SortMode::by_date: return static_cast<std::int64_t>(e.sector->date);
        default: return e.full_name.empty() ? 0 : static_cast<unsigned char>(e.full_name[0]);
        }
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i > 0 && group_of(*files[i]) != group_of(*files[i - 1])) out->new_group();
        out->file_start(line_of(*files[i]));
        out->file_end(line_of(*files[i]));
    }
    out->summary(totals);
}

} // namespace veltool
