// Giving a file found on the disk its place in an EMPTY area of the directory: the
// arithmetic that dre uses for the files it finds and rev for the files it revives.
#pragma once

#include <cstdint>

#include "veltool/image/directory.h"

namespace veltool {

// Directory entries that a file of `sectors` data sectors starting at s takes from the EMPTY
// area: one when an EMPTY part stays in front of it, one when an EMPTY part stays after it.
std::int64_t entries_needed(const DirEntry& area, std::int64_t s, std::int64_t sectors);

struct ClaimedArea {
    DirectoryList::iterator file; // the entry that now describes the file
    DirectoryList::iterator rest; // the EMPTY part after the file, or the end of the list
};

// Makes the file whose directory sector `sector` names s as its start an entry of its own
// inside the EMPTY area `area`, which must hold the file's whole extent: the part in front
// of s stays EMPTY in `area`, the part after the file becomes a new EMPTY entry. The file
// entry takes its name, tag, attribute word and size from the sector and keeps the sector.
ClaimedArea claim_for_file(Image& image, DirectoryList::iterator area, std::int64_t s, DirSector sector);

} // namespace veltool
