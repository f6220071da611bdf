// Byte places of a VELTRA disk image.
#pragma once

#include <cstdint>

namespace veltool {

constexpr std::int64_t SECTOR_WORDS = 256;
constexpr std::int64_t SECTOR_BYTES = 768;
constexpr std::int64_t K_WORDS = 1024;

// Fixed sectors in front of the directory.
constexpr std::int64_t SYSTEM_AREA_SECTORS = 188;
constexpr std::int64_t PARTITION_SECTOR = 188;
constexpr std::int64_t COMMENT_SECTOR = 191;
constexpr std::int64_t DIRECTORY_SECTOR = 192;

constexpr std::int64_t PARTITION_OFFSET = PARTITION_SECTOR * SECTOR_BYTES;
constexpr std::int64_t COMMENT_OFFSET = COMMENT_SECTOR * SECTOR_BYTES;
constexpr std::int64_t DIRECTORY_OFFSET = DIRECTORY_SECTOR * SECTOR_BYTES;

constexpr std::int64_t PARTITION_TABLE_BYTES = 108;
constexpr std::int64_t DISK_COMMENT_BYTES = 75;

// Directory blocks: a 16-word header and 30 entries of 8 words per sector.
constexpr std::int64_t MIN_DIRECTORY_BLOCKS = 8;
constexpr std::int64_t MAX_DIRECTORY_BLOCKS = 256;
constexpr std::int64_t DEFAULT_DIRECTORY_BLOCKS = 128;
constexpr std::int64_t ENTRIES_PER_BLOCK = 30;

// The last 24 sectors of a disk lie outside every entry.
constexpr std::int64_t DISK_END_RESERVE = 24;

} // namespace veltool
