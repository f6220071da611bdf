// The directory of an open disk image: loaded into memory, verified, tidied and written
// back; single directory sectors loaded, cross-checked and rewritten.
#pragma once

#include <cstdint>
#include <ctime>
#include <list>
#include <string>
#include <vector>

#include "veltool/image/image.h"
#include "veltool/image/io.h"
#include "veltool/image/records.h"

namespace veltool {

// Number of entries in the directory list.
std::int64_t entries_used(const Image& image);
// Room for entries in the directory: 30 per block.
std::int64_t directory_capacity(const Image& image);

// Loads the header, the blocks and the disk comment, builds the list, then tidies it.
// Structural faults are fatal. Returns what the last verification of the tidy returned.
int read_directory(Image& image);
// While a change runs and has written nothing yet, the EMPTY areas of the directory just read
// are exempted from its journal.
void exempt_empty_areas(Image& image);
// Verifies, merges neighbouring EMPTY entries, verifies again; returns what that last
// verification returned.
int tidy_directory(Image& image);
// Merges the entry after `entry` into it when both are EMPTY; true when it did.
bool merge_with_next_empty(Image& image, DirectoryList::iterator entry);
// 0 when every rule holds, -1 after at least one warning.
int verify_directory(Image& image);
// Tidies and rewrites all directory blocks from the list, once what was written to the
// image before is on stable storage.
void write_directory(Image& image);
void free_directory_list(Image& image);

// Where the file's directory sector lies in the image: the sector before its data.
std::int64_t directory_sector_offset(const DirEntry& entry);
// Loads the entry's directory sector (sector start - 1 of the image); with check,
// cross-checks it against the entry.
void read_directory_sector(Image& image, DirEntry& entry, bool check);
// The same, keeping the sector's 768 bytes as they were read in `bytes`.
void read_directory_sector(Image& image, DirEntry& entry, bool check, std::vector<Byte>& bytes);
// read_directory_sector with the check that never ends the work: the file's directory
// sector, keeping its 768 bytes in `bytes`, when it can be read, carries the file magic and
// agrees with the entry; otherwise false after one warning, and the entry keeps none.
bool read_usable_sector(Image& image, DirEntry& entry, std::vector<Byte>& bytes);
// read_directory_sector of the disk image with the check, reading only the part of the
// sector that the record is made from when the whole sector lies inside the image, which
// is image_bytes long: a listing of a full directory copies a sixth of the bytes. The walk
// over the entries passes its mapping of the image.
void read_directory_record(Image& image, DirEntry& entry, std::int64_t image_bytes, MappedWalk& walk);
// The part of the entry's directory sector that read_directory_record reads, fetched ahead.
void prefetch_directory_record(const DirEntry& entry, const MappedWalk& walk);
// The entry's directory sector as read_directory_sector with the check would keep it, from the
// part of it that the record is made from, without a word: none when it does not lie whole
// inside the image (image_bytes long) or cannot be read, carries neither magic value, or carries
// the file magic and disagrees with the entry. The walk over the entries passes its mapping.
std::optional<DirSector> agreeing_sector(Image& image, const DirEntry& entry, std::int64_t image_bytes,
                                         MappedWalk& walk);
// Drops the entry's directory sector when it has the file magic and disagrees with the entry.
void check_directory_sector(Image& image, DirEntry& entry);
// Rewrites the entry's directory sector on the disk image from its record.
void write_directory_sector(Image& image, DirEntry& entry);
// The same over the sector's 768 bytes as they are on the disk, held in `bytes`, which
// it updates.
void write_directory_sector(Image& image, DirEntry& entry, Byte* bytes);
void drop_directory_sector(DirEntry& entry);

// The file (not EMPTY) whose full name is full_name, compared exactly; nullptr when none.
DirEntry* find_file(Image& image, const std::string& full_name);

// Before a change: a directory that fails verification ends the run with "CORRUPT DIRECTORY,
// DRE REQUIRED !", or with force only warns so. True when the directory passed.
bool require_sound_directory(Image& image, bool force);

// The directory sector of sector s - 1 when it carries the magic of `kind` and describes a
// regular file that starts at s and ends no later than `area_end` (the sector after the area
// it must lie in); none otherwise. The sector comes from the scan of the walk that asks.
std::optional<DirSector> file_sector_at(SectorScan& scan, std::int64_t s, std::int64_t area_end, int kind);
// file_sector_at for a deleted file.
std::optional<DirSector> deleted_file_at(SectorScan& scan, std::int64_t s, std::int64_t area_end);

// Turns an entry into an EMPTY one: names, tag and attribute word cleared, size rounded up
// to whole sectors, directory sector record dropped. It keeps its place and start sector.
void make_empty(DirEntry& entry);

// Sort orders: negative, 0 or positive as for a sort comparator. Sizes and dates go from the
// largest and latest down for direction 1, the other way round for -1; equal ones by name.
int compare_by_name(const DirEntry& a, const DirEntry& b);
int compare_by_size(const DirEntry& a, const DirEntry& b, int direction);
// On the dates of the entries' directory sectors, which both must have.
int compare_by_date(const DirEntry& a, const DirEntry& b, int direction);

} // namespace veltool
