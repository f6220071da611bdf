#include "veltool/maint/partition.h"

#include <cstdio>

#include "veltool/commands.h"
#include "veltool/image/fixed_records.h"
#include "veltool/image/io.h"
#include "veltool/report.h"

namespace veltool {

void print_partition_table(Image& image) {
    PartitionTableBytes bytes;
    read_at(image.fd(), PARTITION_OFFSET, bytes.data(), bytes.size(), "cannot seek disk image",
            "cannot read disk sector");
    PartitionTable table = decode_partition_table(bytes);
    if (table.mark != PARTITION_TABLE_MARK) fatal(0, "INVALID PARTITION TABLE");
    if (table.second_mark != 0) warn(image, 0, "INVALID PARTITION TABLE");
    std::fprintf(image.out, "DISK   UNIT   START SECTOR   END SECTOR   SIZE IN SECTORS\n");
    std::fprintf(image.out, "=========================================================\n");
    for (int i = 0; i < LOGICAL_DISKS; ++i) {
        const LogicalDisk& disk = table.disks[i];
        std::fprintf(image.out, "=D%d     %2o      %7d       %7d         %7d\n", i + 1,
                     static_cast<unsigned>(disk.unit), disk.start, disk.start + disk.size - 1, disk.size);
    }
}

void write_default_partition_table(Image& image, const std::string& letters) {
    bool force = has_letter(letters, 'F');
    std::int64_t size = file_size(image.fd(), "cannot stat disk image");
    if (size % SECTOR_BYTES != 0) {
        fatal_unless_forced(image, force, "disk image size is not a multiple of KAVOLT sector size");
    }
    PartitionTableBytes bytes = encode_partition_table(default_partition_table(size / SECTOR_BYTES));
    write_image(image, PARTITION_OFFSET, bytes.data(), bytes.size(), "cannot write disk sector");
}

void print_disk_comment(Image& image) {
    DiskCommentBytes bytes;
    read_at(image.fd(), COMMENT_OFFSET, bytes.data(), bytes.size(), "cannot seek disk image",
            "cannot read disk comment");
    std::fprintf(image.out, "%s\n", decode_disk_comment(bytes.data()).c_str());
}

void write_disk_comment(Image& image, const std::string& text) {
    DiskCommentBytes bytes = encode_disk_comment(text);
    write_image(image, COMMENT_OFFSET, bytes.data(), bytes.size(), "cannot write disk comment");
}

void command_ptr(Image& image, const Options&) {
    print_partition_table(image);
}
void command_ptw(Image& image, const Options& options) {
    write_default_partition_table(image, options.letters);
}
void command_dcr(Image& image, const Options&) {
    print_disk_comment(image);
}
void command_dcw(Image& image, const Options& options) {
    write_disk_comment(image, options.comment);
}

} // namespace veltool
