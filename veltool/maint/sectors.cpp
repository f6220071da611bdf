// Raw sector transfer between the disk image and a sector image: scr, scw.
#include "veltool/commands.h"

#include <cerrno>
#include <fcntl.h>

#include "veltool/image/io.h"
#include "veltool/image/layout.h"
#include "veltool/maint/whole_image.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// A run of sectors of the disk image.
struct SectorRun {
    std::int64_t first = 0;
    std::int64_t count = 1;
};

// The checks both commands make before touching anything: the sector image name, FIRST
// and COUNT (a negative FIRST counts from the end), and the limits of the disk image.
SectorRun sector_run(Image& image, const Options& options) {
    if (options.host_file.empty()) fatal(0, "sector image filename not specified");
    if (options.arguments.empty()) fatal(0, "SECTOR LIMITS NOT SPECIFIED");
    SectorRun run;
    scan_integer(options.arguments[0], run.first);
    if (options.arguments.size() > 1) scan_integer(options.arguments[1], run.count);
    std::int64_t total = whole_sectors(image, image.fd(), "cannot stat disk image", IMAGE_NOT_WHOLE_SECTORS,
                                       PartialSector::warn, false);
    if (run.first < 0) run.first += total;
    if (run.first < 0 || run.count <= 0 || run.first > total || run.count > total - run.first) {
        fatal(0, "ILLEGAL SECTOR LIMITS");
    }
    return run;
}

} // namespace

void command_scr(Image& image, const Options& options) {
    SectorRun run = sector_run(image, options);
    FileDescriptor target = create_host_file(options.host_file, "cannot create sector image file %s");
    CopyEnd from{image.fd(), run.first * SECTOR_BYTES, "cannot seek disk image", "cannot read disk sector"};
    CopyEnd to{target.get(), 0, "cannot seek sector image", "cannot write sector"};
    copy_host_sectors(from, to, run.count);
    close_host_file(target, "cannot write sector");
}

void command_scw(Image& image, const Options& options) {
    SectorRun run = sector_run(image, options);
    FileDescriptor source = open_host_file(options.host_file, "cannot open sector image file %s");
    std::int64_t available = whole_sectors(image, source.get(), "cannot stat sector image",
                                           "sector image size is not a multiple of KAVOLT sector size",
                                           PartialSector::warn, false);
    if (run.count > available) fatal(0, "ILLEGAL SECTOR LIMITS");
    if (!has_letter(options.letters, 'F')) fatal(0, "DIRECT WRITING VELTRA DISK SECTORS DANGEROUS !");
    CopyEnd from{source.get(), 0, "cannot seek sector image", "cannot read sector"};
    copy_host_sectors(from, image_target(image, run.first * SECTOR_BYTES), run.count);
}

} // namespace veltool
