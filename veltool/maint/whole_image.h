// Pieces shared by the commands that work on a whole image or a whole directory: checks
// that the force letter softens, the size of an image in sectors and a fresh directory.
#pragma once

#include <cstdint>
#include <string>

#include "veltool/image/image.h"
#include "veltool/image/layout.h"

namespace veltool {

constexpr const char* IMAGE_NOT_WHOLE_SECTORS = "disk image size is not a multiple of KAVOLT sector size";

// The largest disk the directory header can describe, in sectors.
constexpr std::int64_t LARGEST_DISK_SECTORS = 0x7FFFFF;

// Sectors of the smallest disk with n directory blocks: the fixed sectors, the directory,
// one directory sector and the 24 sectors at the end.
constexpr std::int64_t smallest_disk(std::int64_t n) {
    return DIRECTORY_SECTOR + n + 1 + DISK_END_RESERVE;
}

// How a size that is not a whole number of sectors is taken.
enum class PartialSector { warn, fatal_unless_forced };

// Whole sectors of the file open on fd; fstat failing is fatal stat_message, a size that is
// not a multiple of 768 bytes gives not_whole_message as said by `partial`.
std::int64_t whole_sectors(Image& image, int fd, const char* stat_message, const char* not_whole_message,
                           PartialSector partial, bool force);

// Fatal "number of directory blocks ..." unless n lies in 8..256.
void require_directory_blocks(std::int64_t n);

// The directory of a freshly initialised disk: n blocks, s sectors, dated now, and one
// EMPTY entry over the whole file area.
void start_fresh_directory(Image& image, std::int64_t n, std::int64_t s);

} // namespace veltool
