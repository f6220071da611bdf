// Finding room for a file in the free areas of the directory, and giving a file's room
// back: shared by the commands that write, copy, reserve and revive files.
#pragma once

#include <cstdint>
#include <vector>

#include "veltool/image/directory.h"

namespace veltool {

enum class Placement { placed, disk_full, directory_full };

struct PlaceResult {
    Placement status = Placement::disk_full;
    DirectoryList::iterator entry; // the chosen EMPTY entry, now holding exactly the file's sectors
};

// "DISK FULL" or "DIRECTORY FULL".
const char* placement_message(Placement status);

// Best fit for a file of `words` words: the smallest EMPTY entry that holds it, the first in
// disk order among equal sizes; an area larger than the file is split, which needs a free
// directory entry. The chosen entry stays EMPTY; the caller makes it the file.
PlaceResult place_in_free_space(Image& image, std::int64_t words);

// Splits an EMPTY entry after its first `sectors` data sectors: a new EMPTY entry follows
// with the rest of the area (its directory sector is the first sector after the file).
void split_free_area(Image& image, DirectoryList::iterator entry, std::int64_t sectors);

// What release_entry took away, so that a replacement that is not made can give it back.
struct ReleasedFile {
    DirEntry entry;                 // as it was, without its directory sector record
    std::vector<Byte> sector_bytes; // the directory sector as it was, when release rewrote it
};

// Turns a file entry into an EMPTY one: its directory sector, when it loads and matches,
// gets the deleted-file magic; the data stays. The entry keeps its place; merging it with
// EMPTY neighbours is left to the caller.
ReleasedFile release_entry(Image& image, DirEntry& entry);

// Puts a released file back exactly as it was: the EMPTY area that now holds it is split
// around it again and its directory sector rewritten as it was. Nothing may have been
// placed into its sectors since.
void restore_released(Image& image, const ReleasedFile& released);

} // namespace veltool
