#include "veltool/image/directory.h"

#include <cerrno>
#include <new>
#include <vector>

#include "veltool/image/fixed_records.h"
#include "veltool/image/io.h"
#include "veltool/octal.h"
#include "veltool/report.h"

namespace veltool {

namespace {

constexpr const char* REQUIRED = "CORRUPT DIRECTORY, DRE REQUIRED !";
constexpr const char* RECOMMENDED = "CORRUPT DIRECTORY, DRE RECOMMENDED !";

bool blocks_in_range(std::int64_t n) {
    return n >= MIN_DIRECTORY_BLOCKS && n <= MAX_DIRECTORY_BLOCKS;
}

// A zeroed buffer for all directory blocks.
std::vector<Byte> blocks_buffer(const Image& image) {
    return allocated_or_fatal("no memory for directory blocks", [&image] {
        return std::vector<Byte>(static_cast<std::size_t>(image.directory_blocks * SECTOR_BYTES), 0);
    });
}

Byte* slot_of(std::vector<Byte>& blocks, std::int64_t block, std::int64_t j) {
    return blocks.data() + block * SECTOR_BYTES + DIRECTORY_HEADER_BYTES + j * ENTRY_BYTES;
}

} // namespace

std::int64_t entries_used(const Image& image) {
    return static_cast<std::int64_t>(image.directory_list.size());
}

std::int64_t directory_capacity(const Image& image) {
    return image.directory_blocks * ENTRIES_PER_BLOCK;
}

int read_directory(Image& image) {
    Byte header_bytes[DIRECTORY_HEADER_BYTES];
    read_at(image.fd(), DIRECTORY_OFFSET, header_bytes, sizeof header_bytes, "cannot seek disk image",
            "cannot read directory header");
    DirectoryHeader header = decode_directory_header(header_bytes, &image.dates);
    image.directory_blocks = header.blocks;
    image.disk_sectors = header.sectors;
    image.directory_date = header.date;
    if (!blocks_in_range(image.directory_blocks)) {
        fatal(0, "number of directory blocks %d not between %d and %d\n%s", header.blocks,
              static_cast<int>(MIN_DIRECTORY_BLOCKS), static_cast<int>(MAX_DIRECTORY_BLOCKS), REQUIRED);
    }

    std::vector<Byte> blocks = blocks_buffer(image);
    read_at(image.fd(), DIRECTORY_OFFSET, blocks.data(), blocks.size(), "cannot seek disk image",
            "cannot read directory blocks");
    Byte comment[SECTOR_BYTES];
    read_at(image.fd(), COMMENT_OFFSET, comment, sizeof comment, "cannot seek disk image",
            "cannot read disk comment");
    image.disk_comment = decode_disk_comment(comment);

    free_directory_list(image);
    std::int64_t index = 0;
    while (index < image.directory_blocks) {
        const Byte* block = blocks.data() + index * SECTOR_BYTES;
        DirectoryHeader block_header = decode_directory_header(block, &image.dates);
        for (std::int64_t j = 0; j < ENTRIES_PER_BLOCK && j < block_header.entry_count; ++j) {
            image.directory_list.push_back(decode_directory_entry(slot_of(blocks, index, j)));
        }
        std::int64_t next = block_header.next_block;
        if (next == -1) break;
        if (next != DIRECTORY_SECTOR + 1 + index) {
            fatal(0, "directory block %llo: next block %llo should be %llo\n%s",
                  octal(DIRECTORY_SECTOR + index), octal(next), octal(DIRECTORY_SECTOR + 1 + index),
                  REQUIRED);
        }
        index = next - DIRECTORY_SECTOR;
    }
    int result = tidy_directory(image);
    exempt_empty_areas(image);
    return result;
}

// Writes into the EMPTY areas of the directory as the disk holds it before a change need no
// journal record: rolling the directory back frees them again. An area takes its directory
// sector's place and the data sectors after it. Only a directory whose entries follow each
// other without gap or overlap up to the disk end is trusted so.
void exempt_empty_areas(Image& image) {
    if (!image.journal || image.journal->created() || image.empty_areas_exempt) return;
    image.empty_areas_exempt = true;
    std::vector<std::pair<std::int64_t, std::int64_t>> areas;
    std::int64_t expected = image.directory_blocks + DIRECTORY_SECTOR + 1;
    for (const DirEntry& entry : image.directory_list) {
        if (entry.start != expected || entry.size < 0) return;
        std::int64_t sectors = (entry.size + SECTOR_WORDS - 1) / SECTOR_WORDS;
        if (entry.empty) areas.emplace_back(entry.start - 1, sectors + 1);
        expected = entry.start + sectors + 1;
    }
    if (expected > image.disk_sectors - DISK_END_RESERVE + 1) return;
    for (auto [first, count] : areas)
        image.journal->exempt(first, count);
}

int tidy_directory(Image& image) {
    if (verify_directory(image) == -1) warn(image, 0, "%s", RECOMMENDED);
    for (auto r = image.directory_list.begin(); r != image.directory_list.end();) {
        if (!merge_with_next_empty(image, r)) ++r;
    }
    int result = verify_directory(image);
    if (result == -1) warn(image, 0, "%s", RECOMMENDED);
    return result;
}

bool merge_with_next_empty(Image& image, DirectoryList::iterator entry) {
    auto next = std::next(entry);
    if (next == image.directory_list.end() || !entry->empty || !next->empty) return false;
    entry->size = (next->start - entry->start) * SECTOR_WORDS + next->size;
    image.directory_list.erase(next);
    return true;
}

int verify_directory(Image& image) {
    int result = 0;
    const std::int64_t directory_blocks = image.directory_blocks;
    const std::int64_t disk_sectors = image.disk_sectors;
    std::int64_t image_bytes = file_size(image.fd(), "cannot stat disk image");
    if (image_bytes % SECTOR_BYTES != 0) {
        result = warn(image, 0, "disk image size is not a multiple of KAVOLT sector size");
    }
    std::int64_t image_sectors = image_bytes / SECTOR_BYTES;
    if (disk_sectors != image_sectors) {
        result = warn(image, 0, "number of sectors from directory %llo different from disk image size %llo",
                      octal(disk_sectors), octal(image_sectors));
    }
    if (!blocks_in_range(directory_blocks)) {
        result = warn(image, 0, "number of directory blocks %lld not between %d and %d",
                      static_cast<long long>(directory_blocks), static_cast<int>(MIN_DIRECTORY_BLOCKS),
                      static_cast<int>(MAX_DIRECTORY_BLOCKS));
    }
    if (entries_used(image) < 1 || entries_used(image) > directory_capacity(image)) {
        result = warn(image, 0, "number of directory entries %lld not between 1 and %lld",
                      static_cast<long long>(entries_used(image)),
                      static_cast<long long>(directory_capacity(image)));
    }
    std::int64_t expected = directory_blocks + DIRECTORY_SECTOR + 1;
    std::int64_t disk_end = disk_sectors - DISK_END_RESERVE;
    long long k = 1;
    for (const DirEntry& entry : image.directory_list) {
        if (expected > disk_end) {
            result = warn(image, 0, "entry %lld: expected start sector %llo bigger than maximum %llo", k,
                          octal(expected), octal(disk_end));
        }
        if (entry.start != expected) {
            result = warn(image, 0, "entry %lld: start sector %llo different from expected %llo", k,
                          octal(entry.start), octal(expected));
        }
        if (entry.size < 0) {
            result = warn(image, 0, "entry %lld: negative size %lld", k, static_cast<long long>(entry.size));
        }
        if (entry.empty && entry.size % SECTOR_WORDS != 0) {
            result = warn(image, 0, "entry %lld: empty size is not a multiple of KAVOLT sector size", k);
        }
        std::int64_t last = entry.start + (entry.size + SECTOR_WORDS - 1) / SECTOR_WORDS;
        if (last + 1 > disk_end + 1) {
            result = warn(image, 0, "entry %lld: expected last sector %llo bigger than maximum %llo", k,
                          octal(last), octal(disk_end));
        }
        expected = last + 1;
        ++k;
    }
    if (expected != disk_end + 1) {
        result = warn(image, 0, "expected last sector %llo different from disk end %llo", octal(expected - 1),
                      octal(disk_end));
    }
    return result;
}

void write_directory(Image& image) {
    if (image.directory_list.empty() || !blocks_in_range(image.directory_blocks)) return;
    std::vector<Byte> blocks = blocks_buffer(image);
    for (std::int64_t i = 0; i < image.directory_blocks; ++i) {
        encode_directory_header(blocks.data() + i * SECTOR_BYTES, i, image.directory_blocks,
                                image.disk_sectors, image.directory_date);
    }
    tidy_directory(image);
    std::int64_t placed = 0;
    for (const DirEntry& entry : image.directory_list) {
        if (placed == directory_capacity(image)) break;
        std::int64_t block = placed / ENTRIES_PER_BLOCK;
        std::int64_t j = placed % ENTRIES_PER_BLOCK;
        encode_directory_entry(entry, slot_of(blocks, block, j));
        kavolt::put_word(static_cast<std::int32_t>(j + 1),
                         blocks.data() + block * SECTOR_BYTES + 2 * kavolt::WORD_BYTES);
        ++placed;
    }
    // The data and directory sectors written before must reach the disk first: after a
    // power loss the directory never names sectors whose contents were lost.
    flush_image(image);
    write_image(image, DIRECTORY_OFFSET, blocks.data(), blocks.size(), "cannot write directory blocks");
}

void free_directory_list(Image& image) {
    image.directory_list.clear();
}

namespace {

constexpr const char* SEEK_SECTOR = "cannot seek disk/file image";
constexpr const char* READ_SECTOR = "cannot read directory sector";

// Reads the entry's directory sector into bytes (768 of them) and loads it.
void load_directory_sector(Image& image, DirEntry& entry, bool check, Byte* bytes) {
    drop_directory_sector(entry);
    read_at(image.fd(), directory_sector_offset(entry), bytes, SECTOR_BYTES, SEEK_SECTOR, READ_SECTOR);
    entry.sector = decode_directory_sector(bytes, &image.dates);
    if (entry.sector && check) check_directory_sector(image, entry);
}

} // namespace

std::int64_t directory_sector_offset(const DirEntry& entry) {
    return (entry.start - 1) * SECTOR_BYTES;
}

void read_directory_sector(Image& image, DirEntry& entry, bool check) {
    Byte bytes[SECTOR_BYTES];
    load_directory_sector(image, entry, check, bytes);
}

void read_directory_sector(Image& image, DirEntry& entry, bool check, std::vector<Byte>& bytes) {
    bytes.resize(SECTOR_BYTES);
    load_directory_sector(image, entry, check, bytes.data());
}

bool read_usable_sector(Image& image, DirEntry& entry, std::vector<Byte>& bytes) {
    drop_directory_sector(entry);
    bytes.assign(SECTOR_BYTES, 0);
    Transfer got = try_read_at(image.fd(), directory_sector_offset(entry), bytes.data(), bytes.size());
    if (got.sought && got.count == bytes.size())
        entry.sector = decode_directory_sector(bytes.data(), &image.dates);
    if (!entry.sector || entry.sector->kind != SECTOR_KIND_FILE) {
        drop_directory_sector(entry);
        warn(image, 0, "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: %s", entry.full_name.c_str());
        return false;
    }
    check_directory_sector(image, entry);
    return entry.sector.has_value();
}

namespace {

constexpr std::int64_t RECORD_BYTES = 16 * kavolt::WORD_BYTES + SECTOR_COMMENT_BYTES;

bool agrees(const DirEntry& entry, const DirSector& s) {
    return s.full_name == entry.full_name && s.name == entry.name && s.extension == entry.extension &&
           s.tag == entry.tag && s.start == entry.start && s.size == entry.size &&
           s.attributes == entry.attributes;
}

} // namespace

void read_directory_record(Image& image, DirEntry& entry, std::int64_t image_bytes, MappedWalk& walk) {
    std::int64_t offset = directory_sector_offset(entry);
    if (offset < 0 || offset + SECTOR_BYTES > image_bytes) return read_directory_sector(image, entry, true);
    drop_directory_sector(entry);
    Byte bytes[RECORD_BYTES];
    if (!walk.copy(offset, bytes, sizeof bytes, image_bytes))
        read_at(image.fd(), offset, bytes, sizeof bytes, SEEK_SECTOR, READ_SECTOR);
    entry.sector = decode_directory_sector(bytes, &image.dates);
    if (entry.sector) check_directory_sector(image, entry);
}

void prefetch_directory_record(const DirEntry& entry, const MappedWalk& walk) {
    walk.prefetch(directory_sector_offset(entry), RECORD_BYTES);
}

std::optional<DirSector> agreeing_sector(Image& image, const DirEntry& entry, std::int64_t image_bytes,
                                         MappedWalk& walk) {
    std::int64_t offset = directory_sector_offset(entry);
    if (offset < 0 || offset + SECTOR_BYTES > image_bytes) return std::nullopt;
    Byte bytes[RECORD_BYTES];
    if (!walk.copy(offset, bytes, sizeof bytes, image_bytes)) {
        Transfer got = try_read_at(image.fd(), offset, bytes, sizeof bytes);
        if (!got.sought || got.count != sizeof bytes) return std::nullopt;
    }
    std::optional<DirSector> sector = decode_directory_sector(bytes, &image.dates);
    if (sector && sector->kind == SECTOR_KIND_FILE && !agrees(entry, *sector)) return std::nullopt;
    return sector;
}

void check_directory_sector(Image& image, DirEntry& entry) {
    if (!entry.sector || entry.sector->kind != SECTOR_KIND_FILE || agrees(entry, *entry.sector)) return;
    warn(image, 0, "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: %s", entry.full_name.c_str());
    drop_directory_sector(entry);
}

void write_directory_sector(Image& image, DirEntry& entry) {
    if (!entry.sector) return;
    Byte bytes[SECTOR_BYTES];
    read_at(image.fd(), directory_sector_offset(entry), bytes, sizeof bytes, "cannot seek disk image",
            "cannot read directory sector");
    write_directory_sector(image, entry, bytes);
}

void write_directory_sector(Image& image, DirEntry& entry, Byte* bytes) {
    if (!entry.sector) return;
    encode_directory_sector(*entry.sector, bytes);
    write_image(image, directory_sector_offset(entry), bytes, SECTOR_BYTES, "cannot write directory sector");
}

void drop_directory_sector(DirEntry& entry) {
    entry.sector.reset();
}

DirEntry* find_file(Image& image, const std::string& full_name) {
    for (DirEntry& entry : image.directory_list) {
        if (!entry.empty && entry.full_name == full_name) return &entry;
    }
    return nullptr;
}

bool require_sound_directory(Image& image, bool force) {
    if (verify_directory(image) == 0) return true;
    fatal_unless_forced(image, force, "%s", REQUIRED);
    return false;
}

std::optional<DirSector> file_sector_at(SectorScan& scan, std::int64_t s, std::int64_t area_end, int kind) {
    std::optional<DirSector> found =
        decode_directory_sector(scan.sector(s - 1, SEEK_SECTOR, READ_SECTOR), &scan.image().dates);
    if (!found || found->kind != kind || found->start != s || s + data_sectors(found->size) > area_end ||
        !is_genuine(found->attributes)) {
        return std::nullopt;
    }
    return found;
}

std::optional<DirSector> deleted_file_at(SectorScan& scan, std::int64_t s, std::int64_t area_end) {
    return file_sector_at(scan, s, area_end, SECTOR_KIND_DELETED);
}

void make_empty(DirEntry& entry) {
    entry.empty = true;
    entry.full_name.clear();
    entry.name.clear();
    entry.extension.clear();
    entry.tag.clear();
    entry.attributes = 0;
    entry.size = data_sectors(entry.size) * SECTOR_WORDS;
    drop_directory_sector(entry);
}

int compare_by_name(const DirEntry& a, const DirEntry& b) {
    int result = a.full_name.compare(b.full_name);
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

int compare_by_size(const DirEntry& a, const DirEntry& b, int direction) {
    if (a.size > b.size) return -direction;
    if (a.size < b.size) return direction;
    return compare_by_name(a, b);
}

int compare_by_date(const DirEntry& a, const DirEntry& b, int direction) {
    if (a.sector->date > b.sector->date) return -direction;
    if (a.sector->date < b.sector->date) return direction;
    return compare_by_name(a, b);
}

} // namespace veltool
