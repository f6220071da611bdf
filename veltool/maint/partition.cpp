#include "veltool/maint/partition.h"

#include <cstdio>

#include "veltool/commands.h"
#include "veltool/image/fixed_records.h"
#include "veltool/image/io.h"
#include "veltool/report.h"
#include "veltool/state.h"

namespace veltool {

void print_partition_table() {
    PartitionTableBytes bytes;
    read_at(image_fd, PARTITION_OFFSET, bytes.data(), bytes.size(), "cannot seek disk image",
            "cannot read disk sector");
    PartitionTable table = decode_partition_table(bytes);
    if (table.mark != PARTITION_TABLE_MARK) fatal(0, "INVALID PARTITION TABLE");
    if (table.second_mark != 0) warn(0, "INVALID PARTITION TABLE");
    std::printf("DISK   UNIT   START SECTOR   END SECTOR   SIZE IN SECTORS\n");
    std::printf("=========================================================\n");
    for (int i = 0; i < LOGICAL_DISKS; ++i) {
        const LogicalDisk& disk = table.disks[i];
        std::printf("=D%d     %2o      %7d       %7d         %7d\n", i + 1, static_cast<unsigned>(disk.unit),
                    disk.start, disk.start + disk.size - 1, disk.size);
    }
}

void write_default_partition_table(const std::string& letters) {
    bool force = has_letter(letters, 'F');
    std::int64_t size = file_size(image_fd, "cannot stat disk image");
    if (size % SECTOR_BYTES != 0) {
        fatal_unless_forced(force, "disk image size is not a multiple of KAVOLT sector size");
    }
    PartitionTableBytes bytes = encode_partition_table(default_partition_table(size / SECTOR_BYTES));
    write_at(image_fd, PARTITION_OFFSET, bytes.data(), bytes.size(), "cannot seek disk image",
             "cannot write disk sector");
}

void print_disk_comment() {
    DiskCommentBytes bytes;
    read_at(image_fd, COMMENT_OFFSET, bytes.data(), bytes.size(), "cannot seek disk image",
            "cannot read disk comment");
    std::printf("%s\n", decode_disk_comment(bytes.data()).c_str());
}

void write_disk_comment(const std::string& text) {
    DiskCommentBytes bytes = encode_disk_comment(text);
    write_at(image_fd, COMMENT_OFFSET, bytes.data(), bytes.size(), "cannot seek disk image",
             "cannot write disk comment");
}

void command_ptr(const Options&) {
    print_partition_table();
}
void command_ptw(const Options& options) {
    write_default_partition_table(options.letters);
}
void command_dcr(const Options&) {
    print_disk_comment();
}
void command_dcw(const Options& options) {
    write_disk_comment(options.comment);
}

} // namespace veltool
