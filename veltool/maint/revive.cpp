#include "veltool/maint/revive.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <vector>

#include "veltool/commands.h"
#include "veltool/files/free_space.h"
#include "veltool/image/directory.h"
#include "veltool/maint/amounts.h"
#include "veltool/maint/extents.h"
#include "veltool/report.h"
#include "veltool/selection.h"

namespace veltool {

namespace {

constexpr std::int32_t LARGEST_USER_INFO = 0330;

// What rev works with: the patterns, the new name, and what the walk has done so far.
struct Revival {
    Selection selection;
    std::optional<std::string> new_name;
    bool force = false;
    bool found = false;
    bool changed = false;
    bool stopped = false; // the directory became full
};

Revival revival_of(const Options& options) {
    Revival r;
    std::vector<std::string> patterns = options.arguments;
    if (patterns.size() >= 2) {
        r.new_name = canonical_name(patterns.back());
        patterns.pop_back();
    }
    r.selection = Selection{options.tag_pattern, options.include_untagged, patterns, true};
    r.force = has_letter(options.letters, 'F');
    return r;
}

// The directory has no room left for the entries a revival needs. With force the walk
// ends; without it the run does, after the directory has been written with the files
// revived so far, whose directory sectors already carry the file magic again.
void directory_full(Image& image, Revival& r) {
    if (!r.force) {
        if (r.changed) write_directory(image);
        fatal(0, "DIRECTORY FULL");
    }
    warn(image, 0, "DIRECTORY FULL");
    r.stopped = true;
}

// Searches the EMPTY entry `area` sector by sector (read through the scan) for deleted files and revives the
// selected ones; returns the entry where the walk goes on.
DirectoryList::iterator revive_in(DirectoryList::iterator area, Revival& r, SectorScan& scan) {
    Image& image = scan.image();
    for (std::int64_t s = area->start; s <= area->start + area->size / SECTOR_WORDS; ++s) {
        std::optional<DirSector> found = deleted_file_at(scan, s, area->start + area->size / SECTOR_WORDS);
        if (!found || !entry_selected(r.selection, found->tag, found->full_name)) continue;
        r.found = true;
        if (r.new_name) set_full_name(*found, *r.new_name);
        if (find_file(image, found->full_name) != nullptr) {
            warn(image, 0, "ILLEGAL OUTPUT FILENAME: %s", found->full_name.c_str());
            continue;
        }
        if (entries_used(image) + entries_needed(*area, s, data_sectors(found->size)) >
            directory_capacity(image)) {
            directory_full(image, r);
            return image.directory_list.end();
        }
        require_sound_directory(image, r.force);
        r.changed = true;
        found->kind = SECTOR_KIND_FILE;
        ClaimedArea claimed = claim_for_file(image, area, s, std::move(*found));
        // Inside an area that was EMPTY, yet kept: a rolled back revival leaves it revivable.
        journal_write(image, directory_sector_offset(*claimed.file), SECTOR_BYTES, true);
        write_directory_sector(image, *claimed.file);
        if (claimed.rest == image.directory_list.end()) return std::next(claimed.file);
        area = claimed.rest;
        s = area->start - 1;
    }
    return std::next(area);
}

// The attribute word and addresses of a good file's directory sector, put in order.
void normalise(DirSector& sector) {
    if (sector.user_info_address == 0) sector.user_info_address = -1;
    if (sector.user_info_address < 0 || sector.user_info_size < 1 ||
        sector.user_info_size > LARGEST_USER_INFO) {
        sector.user_info_address = -1;
        sector.user_info_size = 0;
    }
    std::int64_t load = sector.load_address;
    if (sector.program_start < load || sector.program_start >= load + sector.size) sector.program_start = -1;
    if (sector.program_start == 0) sector.program_start = -1;
    if (sector.program_start >= 0) {
        sector.attributes |= ATTR_X;
    } else {
        sector.attributes &= ~ATTR_X;
    }
    sector.attributes |= ATTR_P;
}

// True when the entry became EMPTY; a new attribute word and the rewritten sector leave the
// directory as it was verified (the verification looks at places and sizes only).
bool fix_entry(Image& image, DirEntry& entry) {
    read_directory_sector(image, entry, true);
    if (!entry.sector || entry.sector->kind != SECTOR_KIND_FILE) {
        warn(image, 0, "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: %s", entry.full_name.c_str());
        make_empty(entry);
        return true;
    }
    if (!is_genuine(entry.attributes)) {
        entry.sector->kind = SECTOR_KIND_DELETED;
        write_directory_sector(image, entry);
        make_empty(entry);
        return true;
    }
    normalise(*entry.sector);
    entry.attributes = entry.sector->attributes;
    write_directory_sector(image, entry);
    drop_directory_sector(entry);
    return false;
}

// The EMPTY entry for a reservation of `words` words: the smallest that holds it, or for 0
// the largest; the first in disk order among equal sizes.
DirectoryList::iterator area_for(Image& image, std::int64_t words) {
    auto chosen = image.directory_list.end();
    for (auto e = image.directory_list.begin(); e != image.directory_list.end(); ++e) {
        if (!e->empty || e->size < words) continue;
        if (chosen == image.directory_list.end() ||
            (words > 0 ? e->size < chosen->size : e->size > chosen->size)) {
            chosen = e;
        }
    }
    return chosen;
}

// Ends res with "DISK FULL" or "DIRECTORY FULL"; a file of the same name that was deleted
// for the reservation comes back first, as it was.
[[noreturn]] void reservation_failed(Image& image, Placement status,
                                     const std::optional<ReleasedFile>& replaced) {
    if (replaced) {
        restore_released(image, *replaced);
        write_directory(image);
    }
    fatal(0, "%s", placement_message(status));
}

void make_reserved_file(DirEntry& entry, const std::string& name, std::int64_t words) {
    DirSector sector;
    sector.kind = SECTOR_KIND_FILE;
    set_full_name(sector, name);
    sector.start = entry.start;
    sector.size = words;
    sector.program_start = -1;
    sector.user_info_address = -1;
    sector.user_info_size = 0;
    sector.load_address = 0;
    sector.attributes = FILE_MARKER;
    sector.date = std::time(nullptr);
    entry.empty = false;
    set_full_name(entry, name);
    entry.size = words;
    entry.attributes = FILE_MARKER;
    entry.tag.clear();
    entry.sector = std::move(sector);
}

} // namespace

std::int64_t reservation_words(const std::string& text) {
    Amount amount = scan_amount(text);
    std::int64_t factor = SECTOR_WORDS;
    switch (amount.unit) {
    case 'W':
    case 'w': factor = 1; break;
    case 'K':
    case 'k': factor = K_WORDS; break;
    case 'M':
    case 'm': factor = K_WORDS * K_WORDS; break;
    default: break;
    }
    return std::max<std::int64_t>(saturated_product(amount.number, factor), 0);
}

void command_rev(Image& image, const Options& options) {
    Revival r = revival_of(options);
    read_directory(image);
    SectorScan scan(image);
    for (auto entry = image.directory_list.begin(); entry != image.directory_list.end() && !r.stopped;) {
        entry = entry->empty ? revive_in(entry, r, scan) : std::next(entry);
    }
    if (!r.found && !has_letter(options.letters, 'R')) report_not_found(image.out, r.selection.patterns);
    if (r.changed) write_directory(image);
}

void command_res(Image& image, const Options& options) {
    if (options.arguments.empty()) fatal(0, "DESTINATION FILENAME NOT SPECIFIED");
    std::string name = canonical_name(options.arguments[0]);
    std::int64_t words = options.arguments.size() > 1 ? reservation_words(options.arguments[1]) : 0;
    bool force = has_letter(options.letters, 'F');
    read_directory(image);

    std::optional<ReleasedFile> replaced;
    if (DirEntry* existing = find_file(image, name)) {
        if ((existing->attributes & ATTR_P) && !has_letter(options.letters, 'Y'))
            fatal(0, "ILLEGAL OUTPUT FILENAME: %s", name.c_str());
        require_sound_directory(image, force);
        replaced = release_entry(image, *existing);
        write_directory(image);
    }

    auto area = area_for(image, words);
    if (area == image.directory_list.end()) reservation_failed(image, Placement::disk_full, replaced);
    if (words == 0) words = area->size;
    std::int64_t sectors = data_sectors(words);
    bool split = sectors < area->size / SECTOR_WORDS;
    if (split && entries_used(image) == directory_capacity(image))
        reservation_failed(image, Placement::directory_full, replaced);
    require_sound_directory(image, force);
    if (split) split_free_area(image, area, sectors);
    make_reserved_file(*area, name, words);
    write_directory_sector(image, *area);
    write_directory(image);
}

void command_fix(Image& image, const Options& options) {
    bool force = has_letter(options.letters, 'F');
    read_directory(image);
    // Every file is checked against a verified directory; one found sound stays so until an
    // entry changes, and is not verified again until then (verifying before each of n files
    // would take time in n squared).
    bool sound = false;
    for (DirEntry& entry : image.directory_list) {
        if (entry.empty) continue;
        if (!sound) sound = require_sound_directory(image, force);
        if (fix_entry(image, entry)) sound = false;
    }
    write_directory(image);
}

} // namespace veltool
