// Creating and initialising disk images, and moving the system area in and out: new, old.
#include "veltool/commands.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/image/journal.h"
#include "veltool/maint/amounts.h"
#include "veltool/maint/partition.h"
#include "veltool/maint/whole_image.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// The size argument of new in sectors: a number, then K (4 sectors) or M (4096 sectors);
// any other letter is ignored. 0 when there is none.
std::int64_t requested_sectors(const Options& options) {
    if (options.arguments.empty()) return 0;
    Amount amount = scan_amount(options.arguments.front());
    switch (amount.unit) {
    case 'K':
    case 'k': return saturated_product(amount.number, 4);
    case 'M':
    case 'm': return saturated_product(amount.number, 4096);
    default: return amount.number;
    }
}

// A fresh file holds no byte yet, so setting its length gives the zeros without writing
// them; anything else (a device) gets the zeros written in large pieces.
void fill_with_zeros(int fd, std::int64_t bytes) {
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0) {
        if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) fatal(errno, "cannot write disk sector");
        return;
    }
    const std::vector<char> zeros(static_cast<std::size_t>(RUN_BYTES), 0);
    for (std::int64_t done = 0; done < bytes;) {
        std::int64_t piece = std::min<std::int64_t>(bytes - done, static_cast<std::int64_t>(zeros.size()));
        write_at(fd, done, zeros.data(), static_cast<std::size_t>(piece), "cannot seek disk image",
                 "cannot write disk sector");
        done += piece;
    }
}

// Steps taken only when a size is given: every check first, then the image of zeros.
void create_image(Image& image, const Options& options, std::int64_t sectors, bool force) {
    std::int64_t n = options.directory_blocks;
    require_directory_blocks(n);
    if (sectors < smallest_disk(n)) fatal(0, "disk image size too small");
    if (sectors > LARGEST_DISK_SECTORS) fatal(0, "disk image size too large");
    if (!force) fatal(0, "INITIALIZING VELTRA DISK IMAGE CLEARS ALL DATA !");
    // Opened without truncation and emptied only once it is locked, so that a program still
    // working on an existing image never sees it vanish under it. It stays the image worked
    // on. An image already open (and locked) for the work is the one emptied.
    const char* path = options.disk_image.c_str();
    if (!image.image_fd.is_open()) {
        image.path = options.disk_image;
        image.image_fd = FileDescriptor(open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (!image.image_fd.is_open()) fatal(errno, "cannot create VELTRA disk image %s", path);
        image.writable = true;
        lock_image(image, LockMode::exclusive);
    }
    discard_journal(options.disk_image); // nothing of the image before is kept to roll back to
    struct stat status {};
    if (fstat(image.fd(), &status) == 0 && S_ISREG(status.st_mode) && ftruncate(image.fd(), 0) != 0) {
        fatal(errno, "cannot create VELTRA disk image %s", path);
    }
    fill_with_zeros(image.fd(), sectors * SECTOR_BYTES);
}

void initialise_image(Image& image, const Options& options, std::int64_t sectors) {
    start_fresh_directory(image, options.directory_blocks, sectors);
    write_default_partition_table(image, options.letters);
    write_disk_comment(image, options.comment);
    write_directory(image);
    free_directory_list(image);
}

// Copies the system area of a VELTRA image into sectors 0 to 187, and its sector 0 once
// more into the last sector of the disk.
void install_system_area(Image& image, const std::string& path, std::int64_t sectors_on_disk, bool force) {
    FileDescriptor source = open_host_file(path, "cannot open VELTRA image file %s");
    std::int64_t sectors = whole_sectors(image, source.get(), "cannot stat VELTRA image",
                                         "VELTRA image size is not a multiple of KAVOLT sector size",
                                         PartialSector::fatal_unless_forced, force);
    if (sectors < SYSTEM_AREA_SECTORS) fatal(0, "VELTRA image too small");
    if (sectors > SYSTEM_AREA_SECTORS) fatal_unless_forced(image, force, "illegal VELTRA image size");
    CopyEnd from{source.get(), 0, "cannot seek VELTRA image", "cannot read VELTRA sector"};
    CopyEnd to = image_end(image, 0);
    copy_host_sectors(from, to, SYSTEM_AREA_SECTORS);
    to.offset = (sectors_on_disk - 1) * SECTOR_BYTES;
    copy_host_sectors(from, to, 1);
}

} // namespace

void command_new(Image& image, const Options& options) {
    bool force = has_letter(options.letters, 'F');
    std::int64_t sectors = requested_sectors(options);
    if (sectors != 0) {
        create_image(image, options, sectors, force);
    } else if (!image.image_fd.is_open()) {
        hold_image(image, options.disk_image, ImageUse::creates);
    }
    std::int64_t s = whole_sectors(image, image.fd(), "cannot stat disk image", IMAGE_NOT_WHOLE_SECTORS,
                                   PartialSector::fatal_unless_forced, force);
    if (s < smallest_disk(MIN_DIRECTORY_BLOCKS)) fatal(0, "disk image too small");
    if (sectors != 0) initialise_image(image, options, s);
    if (!options.host_file.empty()) install_system_area(image, options.host_file, s, force);
}

void command_old(Image& image, const Options& options) {
    if (options.host_file.empty()) fatal(0, "VELTRA image filename not specified");
    std::int64_t sectors = whole_sectors(image, image.fd(), "cannot stat disk image", IMAGE_NOT_WHOLE_SECTORS,
                                         PartialSector::warn, false);
    if (sectors < SYSTEM_AREA_SECTORS) fatal(0, "ILLEGAL SECTOR LIMITS");
    FileDescriptor target = create_host_file(options.host_file, "cannot create VELTRA image file %s");
    CopyEnd from{image.fd(), 0, "cannot seek disk image", "cannot read disk sector"};
    CopyEnd to{target.get(), 0, "cannot seek VELTRA image", "cannot write VELTRA sector"};
    copy_host_sectors(from, to, SYSTEM_AREA_SECTORS);
    close_host_file(target, "cannot write VELTRA sector");
}

} // namespace veltool
