// Changing files inside the image: del, ren and cop.
#pragma once

#include "veltool/options.h"

namespace veltool {

// Deletes the selected files; their areas become EMPTY (merged when the directory is written).
void delete_files(const Options& options); // del
// Renames the selected files and changes the fields of their directory sectors.
void rename_files(const Options& options); // ren
// Copies each selected file, sector by sector, into free space under the destination name.
void copy_files(const Options& options); // cop

} // namespace veltool
