#include "veltool/listings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

#include "veltool/image/directory.h"
#include "veltool/octal.h"
#include "veltool/report.h"
#include "veltool/selection.h"
#include "veltool/state.h"

namespace veltool {

namespace {

constexpr unsigned DEFAULT_MASK = 0x418;
constexpr unsigned FIRST_LINE_FIELDS = LIST_ATTRIBUTES | LIST_NUMBERS | LIST_SECTORS;
constexpr unsigned SECOND_LINE_FIELDS = 0x1f0;

// What a file line shows: an entry's fields, or those of a deleted file's directory sector.
struct FileLine {
    const std::string& name;
    const std::string& extension;
    std::uint32_t attributes;
    std::int64_t size;
    std::int64_t start;
    const std::string& tag;
    const DirSector* sector; // with the file magic or, in ddi, the deleted one found
};

FileLine line_of(const DirEntry& entry) {
    return FileLine{entry.name,
                    entry.extension,
                    entry.attributes,
                    entry.size,
                    entry.start,
                    entry.tag,
                    entry.sector ? &*entry.sector : nullptr};
}

struct Totals {
    std::int64_t free = 0;
    std::int64_t largest = 0;
    void add(const DirEntry& empty) {
        free += empty.size;
        largest = std::max(largest, empty.size);
    }
};

std::string attribute_letters(std::uint32_t attributes) {
    std::string letters;
    bool r = attributes & ATTR_R, i = attributes & ATTR_I;
    letters += r == i ? 'A' : r ? 'R' : 'I';
    if (attributes & ATTR_X) letters += 'X';
    if (attributes & ATTR_P) letters += 'P';
    if (attributes & ATTR_C) letters += 'C';
    return letters;
}

void print_heading(unsigned mask) {
    if (!(mask & LIST_HEADER)) return;
    std::printf("%s\n", disk_comment.c_str());
    std::printf("ACTUAL DATE: %-9s", listing_date(std::time(nullptr)).c_str());
    std::printf("   DISK INITIALIZATION OR LAST DRE: %-9s\n\n", listing_date(directory_date).c_str());
}

void print_free_line(const DirEntry& entry, unsigned mask) {
    std::printf("[EMPTY]      ");
    if (mask & LIST_ATTRIBUTES) std::printf("      ");
    if (mask & LIST_NUMBERS) std::printf("        ");
    if (mask & LIST_SECTORS) std::printf(" (%8llo)", octal(entry.size / SECTOR_WORDS));
    if (mask & LIST_KWORDS) std::printf(" [%7lldK]", static_cast<long long>(entry.size / K_WORDS));
    if (mask & LIST_START) std::printf("  :%8llo", octal(entry.start));
    std::printf("\n");
}

// Name, attribute letters, numbers, sectors and K: the fields before the directory sector's.
void print_line_head(const FileLine& line, unsigned mask) {
    std::printf("%-8s%c%-4s", line.name.c_str(), line.extension.empty() ? ' ' : '.', line.extension.c_str());
    if (mask & LIST_ATTRIBUTES) std::printf(" '%-4s", attribute_letters(line.attributes).c_str());
    if (mask & LIST_NUMBERS) {
        std::printf(" %3u!%3u", line.attributes & ATTR_FIRST_NUMBER,
                    (line.attributes & ATTR_SECOND_NUMBER) >> 8);
    }
    if (mask & LIST_SECTORS) std::printf(" (%8llo)", octal(data_sectors(line.size)));
    if (mask & LIST_KWORDS)
        std::printf(" [%7lldK]", static_cast<long long>((line.size + K_WORDS - 1) / K_WORDS));
}

// The fields before the directory sector's, and the end of the first line when any of
// attributes, numbers or sectors put the rest on a second line.
void print_first_line(const FileLine& line, unsigned mask) {
    print_line_head(line, mask);
    if (mask & FIRST_LINE_FIELDS) std::printf("\n");
}

void print_line_rest(const FileLine& line, unsigned mask) {
    if (const DirSector* s = line.sector) {
        if (mask & LIST_ADDRESSES) {
            std::printf("%8llo-%8llo", octal(s->load_address), octal(s->load_address + line.size - 1));
            if (s->program_start >= 0) {
                std::printf(";%8llo", octal(s->program_start));
            } else {
                std::printf("         ");
            }
        }
        if (mask & LIST_USER_INFO) {
            if (s->user_info_address >= 0 && s->user_info_size >= 1) {
                std::printf(" +%8llo#%3llo", octal(s->user_info_address), octal(s->user_info_size));
            } else {
                std::printf("              ");
            }
        }
        if (mask & LIST_DATE) std::printf(" %s", listing_date(s->date).c_str());
    }
    if (mask & LIST_START) std::printf(" :%8llo", octal(line.start));
    if ((mask & LIST_TAG) && !line.tag.empty()) std::printf(" $%-4s", line.tag.c_str());
    if ((mask & SECOND_LINE_FIELDS) || !(mask & FIRST_LINE_FIELDS)) std::printf("\n");
    if ((mask & LIST_COMMENT) && line.sector) std::printf("\\%s\n", line.sector->comment.c_str());
}

void print_illegal_line(const DirEntry& entry, unsigned mask) {
    print_line_head(line_of(entry), mask);
    if (mask & LIST_START) std::printf("  :%8llo", octal(entry.start));
    if (mask & LIST_TAG) {
        if (entry.tag.empty()) {
            std::printf("     ");
        } else {
            std::printf(" $%-4s", entry.tag.c_str());
        }
    }
    std::printf("   *** ILLEGAL ENTRY ***\n");
}

void print_summary(const Totals& totals, unsigned mask) {
    if (mask & LIST_SUMMARY) {
        auto amount = [mask](const char* label, std::int64_t words) {
            std::printf("%s%7lld K", label, static_cast<long long>(words / K_WORDS));
            if (mask & LIST_SECTORS) {
                std::printf("WORDS = %7lld SECTORS\n", static_cast<long long>(words / SECTOR_WORDS));
            } else {
                std::printf("\n");
            }
        };
        std::printf("\n");
        amount("SPACE AVAILABLE: ", totals.free);
        amount("LARGEST EMPTY:   ", totals.largest);
    }
    if (mask & LIST_HEADER) {
        std::printf("FILE ENTRIES USED:  %4lld of %4lld\n", static_cast<long long>(entries_used()),
                    static_cast<long long>(directory_capacity()));
    }
}

// Loads the entry's directory sector with the cross-check and keeps it only when it
// carries the file magic.
void load_file_sector(DirEntry& entry) {
    read_directory_sector(entry, image_fd, true);
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

std::string listing_date(std::time_t t) {
    std::tm calendar{};
    if (localtime_r(&t, &calendar) == nullptr) return "";
    char text[64];
    std::size_t length = std::strftime(text, sizeof text, "%d.%b.%y", &calendar);
    return std::string(text, std::min<std::size_t>(length, 9));
}

void list_directory(const Options& options) {
    unsigned mask = listing_mask(options.letters);
    read_directory();
    Selection selection = selection_of(options, true);
    print_heading(mask);
    Totals totals;
    for (DirEntry& entry : directory_list) {
        if (entry.empty) {
            totals.add(entry);
            if ((mask & LIST_HEADER) && selection.patterns.empty()) print_free_line(entry, mask);
            continue;
        }
        if (!entry_selected(selection, entry.tag, entry.full_name)) continue;
        if (entry.attributes & ATTR_NOT_FILE) {
            print_illegal_line(entry, mask);
            continue;
        }
        // Before the load, so that its warning or error starts a line of its own.
        print_first_line(line_of(entry), mask);
        load_file_sector(entry);
        print_line_rest(line_of(entry), mask);
    }
    print_summary(totals, mask);
}

void list_deleted(const Options& options) {
    unsigned mask = listing_mask(options.letters);
    read_directory();
    Selection selection = selection_of(options, true);
    print_heading(mask);
    Totals totals;
    for (const DirEntry& entry : directory_list) {
        if (!entry.empty) continue;
        totals.add(entry);
        if ((mask & LIST_HEADER) && selection.patterns.empty()) print_free_line(entry, mask);
        std::int64_t first = entry.start;
        std::int64_t last = entry.start + entry.size / SECTOR_WORDS;
        for (std::int64_t s = first; s <= last; ++s) {
            std::optional<DirSector> found = deleted_file_at(s, last);
            if (!found || !entry_selected(selection, found->tag, found->full_name)) continue;
            FileLine line{found->name, found->extension, found->attributes, found->size, s,
                          found->tag,  &*found};
            print_first_line(line, mask);
            print_line_rest(line, mask);
        }
    }
    print_summary(totals, mask);
}

void list_sorted(const Options& options) {
    unsigned mask = listing_mask(options.letters);
    read_directory();
    std::vector<DirEntry*> files;
    try {
        files.reserve(static_cast<std::size_t>(entries_used()));
    } catch (const std::bad_alloc&) {
        fatal(ENOMEM, "no memory for sorted directory list");
    }
    Selection selection = selection_of(options, true);
    bool by_date = options.sort_mode == SortMode::by_date;
    DateBound bound = date_bound_of(options.date_bound);
    print_heading(mask);
    Totals totals;
    for (DirEntry& entry : directory_list) {
        if (entry.empty) {
            totals.add(entry);
            continue;
        }
        if (!entry_selected(selection, entry.tag, entry.full_name) || (entry.attributes & ATTR_NOT_FILE))
            continue;
        load_file_sector(entry);
        if (!entry.sector) continue;
        if (by_date && !date_passes(bound, entry.sector->date)) continue;
        files.push_back(&entry);
    }

    int (*compare)(const DirEntry&, const DirEntry&) = compare_by_name;
    if (options.sort_mode == SortMode::by_size) compare = compare_by_size;
    if (by_date) compare = compare_by_date;
    std::stable_sort(files.begin(), files.end(),
                     [compare](const DirEntry* a, const DirEntry* b) { return compare(*a, *b) < 0; });

    auto group_of = [&options](const DirEntry& e) -> std::int64_t {
        switch (options.sort_mode) {
        case SortMode::by_size: return data_sectors(e.size);
        case SortMode::by_date: return static_cast<std::int64_t>(e.sector->date);
        default: return e.full_name.empty() ? 0 : static_cast<unsigned char>(e.full_name[0]);
        }
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i > 0 && group_of(*files[i]) != group_of(*files[i - 1])) std::printf("\n");
        print_first_line(line_of(*files[i]), mask);
        print_line_rest(line_of(*files[i]), mask);
    }
    print_summary(totals, mask);
}

} // namespace veltool
