#include "veltool/image/fixed_records.h"

#include "common/text.h"

namespace veltool {

namespace {

constexpr int disk_word(int disk, int field) {
    return 4 + 4 * disk + field;
}

} // namespace

PartitionTable decode_partition_table(const PartitionTableBytes& bytes) {
    using kavolt::WORD_BYTES;
    PartitionTable table;
    table.mark = kavolt::get_uword(&bytes[0]);
    table.second_mark = kavolt::get_word(&bytes[WORD_BYTES]);
    for (int i = 0; i < LOGICAL_DISKS; ++i) {
        table.disks[i].unit = kavolt::get_uword(&bytes[disk_word(i, 0) * WORD_BYTES]);
        table.disks[i].start = kavolt::get_word(&bytes[disk_word(i, 1) * WORD_BYTES]);
        table.disks[i].size = kavolt::get_word(&bytes[disk_word(i, 2) * WORD_BYTES]);
    }
    return table;
}

PartitionTableBytes encode_partition_table(const PartitionTable& table) {
    using kavolt::WORD_BYTES;
    PartitionTableBytes bytes{};
    kavolt::put_word(table.mark, &bytes[0]);
    kavolt::put_word(table.second_mark, &bytes[WORD_BYTES]);
    for (int i = 0; i < LOGICAL_DISKS; ++i) {
        kavolt::put_word(table.disks[i].unit, &bytes[disk_word(i, 0) * WORD_BYTES]);
        kavolt::put_word(table.disks[i].start, &bytes[disk_word(i, 1) * WORD_BYTES]);
        kavolt::put_word(table.disks[i].size, &bytes[disk_word(i, 2) * WORD_BYTES]);
    }
    return bytes;
}

PartitionTable default_partition_table(std::int64_t disk_sectors) {
    PartitionTable table;
    for (int i = 0; i < LOGICAL_DISKS; ++i) {
        table.disks[i].unit = i;
        table.disks[i].start = 0;
        table.disks[i].size = static_cast<std::int32_t>(disk_sectors);
    }
    table.disks[LOGICAL_DISKS - 1].unit = 8;
    table.disks[LOGICAL_DISKS - 1].size = 660;
    return table;
}

std::string decode_disk_comment(const kavolt::Byte* bytes) {
    char text[DISK_COMMENT_BYTES];
    kavolt::get_text(text, std::span<const kavolt::Byte>(bytes, DISK_COMMENT_BYTES));
    return text;
}

DiskCommentBytes encode_disk_comment(const std::string& text) {
    DiskCommentBytes bytes{};
    kavolt::put_text(text, bytes);
    return bytes;
}

} // namespace veltool
