// The fixed records in front of the directory: the partition table (sector 188) and the
// disk comment (sector 191).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/words.h"
#include "veltool/image/layout.h"

namespace veltool {

constexpr std::int32_t PARTITION_TABLE_MARK = 07250023;
constexpr int LOGICAL_DISKS = 8;

struct LogicalDisk {
    std::int32_t unit = 0;  // unsigned word
    std::int32_t start = 0; // first sector
    std::int32_t size = 0;  // sectors
};

struct PartitionTable {
    std::int32_t mark = PARTITION_TABLE_MARK; // word 0, unsigned
    std::int32_t second_mark = 0;             // word 1
    std::array<LogicalDisk, LOGICAL_DISKS> disks{};
};

using PartitionTableBytes = std::array<kavolt::Byte, PARTITION_TABLE_BYTES>;
using DiskCommentBytes = std::array<kavolt::Byte, DISK_COMMENT_BYTES>;

PartitionTable decode_partition_table(const PartitionTableBytes& bytes);
// Reserved words are written 0.
PartitionTableBytes encode_partition_table(const PartitionTable& table);

// The default table of a disk of the given number of sectors: =D1 to =D7 on units 0 to 6
// over the whole disk, =D8 on unit 8 with 660 sectors.
PartitionTable default_partition_table(std::int64_t disk_sectors);

// The comment text, at most 74 characters.
std::string decode_disk_comment(const kavolt::Byte* bytes);
DiskCommentBytes encode_disk_comment(const std::string& text);

} // namespace veltool
