// Looking into files of the image: lis, sum and oct. None of them writes to the image.
#pragma once

#include "veltool/options.h"

namespace veltool {

// Prints the selected files as host text.
void list_files(const Options& options); // lis
// Prints size and checksum of the selected files in full-name order.
void checksum_files(const Options& options); // sum
// Dumps the selected files word by word, as bytes or as characters.
void dump_files(const Options& options); // oct

} // namespace veltool
