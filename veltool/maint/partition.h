// Partition table and disk comment: ptr, ptw, dcr, dcw.
#pragma once

#include <string>

#include "veltool/image/image.h"
#include "veltool/options.h"

namespace veltool {

// Writes the default partition table sized to the image; force letter F in letters turns
// an image size that is not a whole number of sectors into a warning.
void write_default_partition_table(Image& image, const std::string& letters);
// Writes text (cut to 74 characters) as the disk comment.
void write_disk_comment(Image& image, const std::string& text);

void print_partition_table(Image& image);
void print_disk_comment(Image& image);

} // namespace veltool
