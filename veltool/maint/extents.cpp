#include "veltool/maint/extents.h"

#include <utility>

#include "veltool/files/free_space.h"

namespace veltool {

std::int64_t entries_needed(const DirEntry& area, std::int64_t s, std::int64_t sectors) {
    std::int64_t area_end = area.start + area.size / SECTOR_WORDS;
    return (s > area.start ? 1 : 0) + (area_end - s > sectors ? 1 : 0);
}

ClaimedArea claim_for_file(Image& image, DirectoryList::iterator area, std::int64_t s, DirSector sector) {
    auto file = area;
    if (s > area->start) {
        split_free_area(image, area, s - area->start - 1);
        file = std::next(area);
    }
    std::int64_t sectors = data_sectors(sector.size);
    auto rest = image.directory_list.end();
    if (sectors < file->size / SECTOR_WORDS) {
        split_free_area(image, file, sectors);
        rest = std::next(file);
    }
    file->empty = false;
    file->full_name = sector.full_name;
    file->name = sector.name;
    file->extension = sector.extension;
    file->tag = sector.tag;
    file->attributes = sector.attributes;
    file->size = sector.size;
    file->sector = std::move(sector);
    return ClaimedArea{file, rest};
}

} // namespace veltool
