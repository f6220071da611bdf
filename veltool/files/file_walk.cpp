#include "veltool/files/file_walk.h"

#include "veltool/report.h"

namespace veltool {

bool load_usable_sector(Image& image, DirEntry& entry) {
    read_directory_sector(image, entry, true);
    if (entry.sector && entry.sector->kind == SECTOR_KIND_FILE) return true;
    drop_directory_sector(entry);
    return false;
}

void warn_unusable_sector(Image& image, const DirEntry& entry) {
    warn(image, 0, "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: %s", entry.full_name.c_str());
}

void report_if_none_found(Image& image, std::int64_t found, const Options& options,
                          const Selection& selection) {
    if (found == 0 && !has_letter(options.letters, 'R')) report_not_found(image.out, selection.patterns);
}

} // namespace veltool
