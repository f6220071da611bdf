// Rebuilding the directory from the directory sectors on the disk, and packing the disk:
// dre, pac.
#include "veltool/commands.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "veltool/files/free_space.h"
#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/image/sector_moves.h"
#include "veltool/maint/extents.h"
#include "veltool/maint/partition.h"
#include "veltool/maint/whole_image.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// Start sector of the first file on a disk with the fewest directory blocks.
constexpr std::int64_t FIRST_POSSIBLE_START = MIN_DIRECTORY_BLOCKS + DIRECTORY_SECTOR + 1;

std::optional<DirSector> file_at(SectorScan& scan, std::int64_t s, std::int64_t area_end) {
    return file_sector_at(scan, s, area_end, SECTOR_KIND_FILE);
}

// A directory of n blocks covers the first files of a disk made with fewer blocks.
void check_for_lost_files(SectorScan& scan, std::int64_t n, std::int64_t s, bool force) {
    for (std::int64_t start = FIRST_POSSIBLE_START; start <= n + DIRECTORY_SECTOR; ++start) {
        if (!file_at(scan, start, s - DISK_END_RESERVE)) continue;
        fatal_unless_forced(scan.image(), force,
                            "number of directory blocks %lld too large, some files may be lost",
                            static_cast<long long>(n));
        return;
    }
}

// Walks the file area from its first sector, taking every file whose directory sector is
// intact, in sector order; of two files with one name the first stays.
void collect_files(SectorScan& scan, bool force) {
    Image& image = scan.image();
    auto area = image.directory_list.begin();
    std::int64_t s = area->start;
    std::unordered_set<std::string> names;
    for (;;) {
        std::int64_t area_end = area->start + area->size / SECTOR_WORDS;
        if (s > area_end) return;
        std::optional<DirSector> found = file_at(scan, s, area_end);
        if (!found || names.count(found->full_name) != 0) {
            ++s;
            continue;
        }
        if (entries_used(image) + entries_needed(*area, s, data_sectors(found->size)) >
            directory_capacity(image)) {
            fatal_unless_forced(image, force, "DIRECTORY FULL");
            return;
        }
        names.insert(found->full_name);
        ClaimedArea claimed = claim_for_file(image, area, s, std::move(*found));
        if (claimed.rest == image.directory_list.end()) return;
        area = claimed.rest;
        s = area->start;
    }
}

// Makes every entry that is not a regular file free space; true when there was one.
bool remove_illegal_entries(Image& image, bool force) {
    bool removed = false;
    for (DirEntry& entry : image.directory_list) {
        if (entry.empty || is_genuine(entry.attributes)) continue;
        require_sound_directory(image, force);
        std::fprintf(image.out, "DELETING ILLEGAL ENTRY %s\n", entry.full_name.c_str());
        release_entry(image, entry);
        removed = true;
    }
    return removed;
}

// e takes f's file and f the free space that e held, right behind the file. True.
bool trade_places(DirEntry& e, DirEntry& f) {
    std::int64_t gap_words = e.size;
    std::int64_t start = e.start;
    e = std::move(f);
    e.start = start;
    f = DirEntry{};
    f.empty = true;
    f.start = start + data_sectors(e.size) + 1;
    f.size = gap_words;
    return true;
}

// Moves file f down into the EMPTY entry e right in front of it: f's directory sector is
// marked deleted, its extent copied to e's place and given its directory sector there;
// the free space ends up after the file. False when f has no usable directory sector.
// The directory is verified first unless it is known to be sound. The sector's bytes are
// read once: the copy puts the same bytes at e's place.
bool slide_down(Image& image, DirEntry& e, DirEntry& f, bool force, bool& sound) {
    std::vector<Byte> bytes;
    read_directory_sector(image, f, true, bytes);
    if (!f.sector) {
        fatal_unless_forced(image, force, "CORRUPT DIRECTORY, DRE REQUIRED !");
        return false;
    }
    if (!sound) sound = require_sound_directory(image, force);
    f.sector->kind = SECTOR_KIND_DELETED;
    write_directory_sector(image, f, bytes.data());
    copy_sectors(image, f.start - 1, e.start - 1, data_sectors(f.size) + 1);

    trade_places(e, f);
    e.sector->kind = SECTOR_KIND_FILE;
    e.sector->start = e.start;
    write_directory_sector(image, e, bytes.data()); // the bytes the copy put there
    drop_directory_sector(e);
    return true;
}

// The moves of slide_down on a sound directory: every file behind the first EMPTY entry moves,
// to the sector after the file before it. False when a directory sector to move is missing or
// disagrees with its entry.
bool plan_moves(Image& image, std::vector<SectorMove>& moves) {
    auto gap = std::find_if(image.directory_list.begin(), image.directory_list.end(),
                            [](const DirEntry& entry) { return entry.empty; });
    if (gap == image.directory_list.end()) return true;
    std::int64_t to = gap->start - 1;
    MappedWalk walk(image.fd());
    std::int64_t image_bytes = file_size(image.fd(), "cannot stat disk image");
    for (auto f = std::next(gap); f != image.directory_list.end(); ++f) {
        if (f->empty) continue;
        if (!agreeing_sector(image, *f, image_bytes, walk)) return false;
        moves.push_back({f->start - 1, to, data_sectors(f->size) + 1});
        to += moves.back().count;
    }
    return true;
}

// Makes the moves of slide_down on a sound directory in one pass over the disk (see
// move_runs_down), with the bytes they would leave; true when files moved. False, with nothing
// written, where that cannot be proved: on an image open for reading only, or when a directory
// sector to move is missing or disagrees with its entry (slide_down reports it where it meets it).
bool move_files_in_one_pass(Image& image) {
    std::vector<SectorMove> moves;
    if (!image.writable || !plan_moves(image, moves) || moves.empty()) return false;
    // Rewritten as slide_down rewrites it: marked deleted at the old place, then a file at the new one.
    move_runs_down(image, moves, [&](std::size_t k, Byte* moved, Byte* left) {
        std::optional<DirSector> sector = decode_directory_sector(moved, &image.dates);
        if (!sector) return; // changed by another program since it was checked
        sector->kind = SECTOR_KIND_DELETED;
        encode_directory_sector(*sector, left);
        std::copy_n(left, SECTOR_BYTES, moved);
        sector->kind = SECTOR_KIND_FILE;
        sector->start = moves[k].to + 1;
        encode_directory_sector(*sector, moved);
    });
    return true;
}

// Slides every file down over the free space in front of it; true when one moved. A move
// keeps a sound directory sound (the file and the free space trade places, every later
// entry keeps its start, the disk end stays), and in a tidy directory only the free space
// it leaves can meet another EMPTY entry: so once the directory has passed verification,
// the moves skip it and merge that one pair. A directory known sound from the start has its
// files moved in one pass, and the walk only updates the entries. A damaged directory (with
// force) is verified and tidied in full around every move, with the warnings that brings.
bool pack_files(Image& image, bool force, bool sound) {
    bool moved_in_one_pass = sound && move_files_in_one_pass(image);
    bool moved = false;
    for (auto e = image.directory_list.begin(); e != image.directory_list.end();) {
        auto f = std::next(e);
        if (f == image.directory_list.end()) break;
        if (e->empty && !f->empty &&
            (moved_in_one_pass ? trade_places(*e, *f) : slide_down(image, *e, *f, force, sound))) {
            moved = true;
            if (sound) {
                merge_with_next_empty(image, f);
            } else {
                tidy_directory(image);
            }
        }
        e = f;
    }
    return moved;
}

} // namespace

void command_dre(Image& image, const Options& options) {
    bool force = has_letter(options.letters, 'F');
    std::int64_t n = options.directory_blocks;
    require_directory_blocks(n);
    std::int64_t s = whole_sectors(image, image.fd(), "cannot stat disk image", IMAGE_NOT_WHOLE_SECTORS,
                                   PartialSector::fatal_unless_forced, force);
    if (s < smallest_disk(n)) fatal(0, "disk image too small");
    start_fresh_directory(image, n, s);
    SectorScan scan(image);
    if (n > MIN_DIRECTORY_BLOCKS) check_for_lost_files(scan, n, s, force);
    collect_files(scan, force);
    write_directory(image);
    free_directory_list(image);
    write_default_partition_table(image, options.letters);
}

void command_pac(Image& image, const Options& options) {
    bool force = has_letter(options.letters, 'F');
    int verified = read_directory(image);
    bool removed = remove_illegal_entries(image, force);
    if (removed) verified = tidy_directory(image);
    bool moved = pack_files(image, force, verified == 0);
    if (removed || moved) write_directory(image);
}

} // namespace veltool
