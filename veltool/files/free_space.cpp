#include "veltool/files/free_space.h"

#include "veltool/image/io.h"

namespace veltool {

const char* placement_message(Placement status) {
    return status == Placement::directory_full ? "DIRECTORY FULL" : "DISK FULL";
}

PlaceResult place_in_free_space(Image& image, std::int64_t words) {
    DirectoryList& directory_list = image.directory_list;
    PlaceResult result;
    auto best = directory_list.end();
    for (auto e = directory_list.begin(); e != directory_list.end(); ++e) {
        if (e->empty && e->size >= words && (best == directory_list.end() || e->size < best->size)) best = e;
    }
    if (best == directory_list.end()) return result;
    std::int64_t need = data_sectors(words);
    if (need < best->size / SECTOR_WORDS) {
        if (entries_used(image) == directory_capacity(image)) {
            result.status = Placement::directory_full;
            return result;
        }
        split_free_area(image, best, need);
    }
    result.status = Placement::placed;
    result.entry = best;
    return result;
}

void split_free_area(Image& image, DirectoryList::iterator entry, std::int64_t sectors) {
    DirEntry rest;
    rest.empty = true;
    rest.start = entry->start + sectors + 1;
    rest.size = entry->size - (sectors + 1) * SECTOR_WORDS;
    entry->size = sectors * SECTOR_WORDS;
    image.directory_list.insert(std::next(entry), rest);
}

ReleasedFile release_entry(Image& image, DirEntry& entry) {
    ReleasedFile released{entry, {}};
    released.entry.sector.reset();
    read_directory_sector(image, entry, true, released.sector_bytes);
    if (entry.sector) {
        entry.sector->kind = SECTOR_KIND_DELETED;
        write_directory_sector(image, entry);
    } else {
        released.sector_bytes.clear(); // nothing was rewritten, so nothing to give back
    }
    make_empty(entry);
    return released;
}

void restore_released(Image& image, const ReleasedFile& released) {
    DirectoryList& directory_list = image.directory_list;
    const DirEntry& file = released.entry;
    std::int64_t file_end = file.start + data_sectors(file.size); // sector after its data
    for (auto area = directory_list.begin(); area != directory_list.end(); ++area) {
        std::int64_t area_end = area->start + area->size / SECTOR_WORDS;
        if (!area->empty || area->start > file.start || area_end < file_end) continue;
        auto place = area;
        if (file.start > area->start) {
            area->size = (file.start - area->start - 1) * SECTOR_WORDS;
            place = directory_list.insert(std::next(area), file);
        } else {
            *area = file;
        }
        if (area_end > file_end) {
            DirEntry rest;
            rest.empty = true;
            rest.start = file_end + 1;
            rest.size = (area_end - file_end - 1) * SECTOR_WORDS;
            directory_list.insert(std::next(place), rest);
        }
        break;
    }
    if (!released.sector_bytes.empty()) {
        write_image(image, directory_sector_offset(file), released.sector_bytes.data(), SECTOR_BYTES,
                    "cannot write directory sector");
    }
}

} // namespace veltool
