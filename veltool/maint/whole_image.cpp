#include "veltool/maint/whole_image.h"

#include <ctime>
#include <vector>

#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/report.h"

namespace veltool {

std::int64_t whole_sectors(Image& image, int fd, const char* stat_message, const char* not_whole_message,
                           PartialSector partial, bool force) {
    std::int64_t bytes = file_size(fd, stat_message);
    if (bytes % SECTOR_BYTES != 0) {
        if (partial == PartialSector::warn) {
            warn(image, 0, "%s", not_whole_message);
        } else {
            fatal_unless_forced(image, force, "%s", not_whole_message);
        }
    }
    return bytes / SECTOR_BYTES;
}

void require_directory_blocks(std::int64_t n) {
    if (n >= MIN_DIRECTORY_BLOCKS && n <= MAX_DIRECTORY_BLOCKS) return;
    fatal(0, "number of directory blocks %lld not between %d and %d", static_cast<long long>(n),
          static_cast<int>(MIN_DIRECTORY_BLOCKS), static_cast<int>(MAX_DIRECTORY_BLOCKS));
}

void start_fresh_directory(Image& image, std::int64_t n, std::int64_t s) {
    image.directory_blocks = n;
    image.disk_sectors = s;
    image.directory_date = std::time(nullptr);
    free_directory_list(image);
    DirEntry free_area;
    free_area.empty = true;
    free_area.start = n + DIRECTORY_SECTOR + 1;
    free_area.size = (s - smallest_disk(n)) * SECTOR_WORDS;
    image.directory_list.push_back(free_area);
}

} // namespace veltool
