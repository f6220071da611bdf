// What the file commands share while they walk the directory for the files they work on.
#pragma once

#include <cstdint>

#include "veltool/image/directory.h"
#include "veltool/options.h"
#include "veltool/selection.h"

namespace veltool {

// Calls each(entry) for every file, in directory order, that the selection takes; returns
// how many it took. EMPTY entries are passed over.
template <class Each>
std::int64_t for_each_selected(Image& image, const Selection& selection, Each each) {
    std::int64_t found = 0;
    for (DirEntry& entry : image.directory_list) {
        if (entry.empty || !entry_selected(selection, entry.tag, entry.full_name)) continue;
        ++found;
        each(entry);
    }
    return found;
}

// Loads the entry's directory sector with the cross-check. True when one with the file magic
// results; otherwise the entry keeps none.
bool load_usable_sector(Image& image, DirEntry& entry);
// "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: %s" with the entry's full name.
void warn_unusable_sector(Image& image, const DirEntry& entry);

// After the walk: the "FILE NOT FOUND:" line when nothing was found, unless letter R is given.
void report_if_none_found(Image& image, std::int64_t found, const Options& options,
                          const Selection& selection);

} // namespace veltool
