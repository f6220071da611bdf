// Builds VELTRA disk images for tests, with packing code of its own so that tests do not
// merely mirror the code under test.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test {

constexpr std::int64_t SECTOR = 768;
constexpr std::uint32_t FILE_MAGIC = 021702365;
constexpr std::uint32_t DELETED_MAGIC = 017052376;
constexpr std::uint32_t REGULAR = 070000000; // file marker alone: type A, no letters

// Six-bit character code of up to 4 characters (blank filled).
std::uint32_t six_bit(const std::string& chars);
// Three BCD bytes of two-digit values, e.g. bcd3(24, 12, 99).
std::uint32_t bcd3(int a, int b, int c);
// Stores the low 24 bits of value at bytes[offset], most significant first.
void put24(std::vector<std::uint8_t>& bytes, std::size_t offset, std::int64_t value);
std::int32_t get24(const std::vector<std::uint8_t>& bytes, std::size_t offset);
// The host time of a local date and time.
std::time_t local_time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// 8-bit text with bit 7 set, zero filled to n bytes, last byte zero.
std::vector<std::uint8_t> text8(const std::string& text, std::size_t n);

// A file of the image: its directory entry, directory sector and data.
struct FileSpec {
    std::string name = "FILE"; // up to 8 characters
    std::string ext;           // up to 4
    std::string tag;           // up to 4
    std::int64_t words = 0;    // size in words
    std::uint32_t attributes = REGULAR;
    std::vector<std::uint8_t> data; // data bytes from the start sector; the rest is zero
    std::int32_t load_address = 0;
    std::int32_t program_start = -1;
    std::int32_t user_info_address = -1;
    std::int32_t user_info_size = 0;
    std::uint32_t date = 0; // BCD date word, e.g. bcd3(24, 12, 99)
    std::string comment;
    std::uint32_t magic = FILE_MAGIC; // word 0 of the directory sector
    bool write_sector = true;         // false: the directory sector stays zero
    // Damage: words stored instead of the right ones.
    std::optional<std::int32_t> entry_size_word, sector_size_word, entry_start, sector_start;
    std::optional<std::string> sector_name, sector_ext, sector_tag;
    std::optional<std::uint32_t> sector_attributes;
    // Bytes 120-767 of the directory sector (user info area), when given.
    std::vector<std::uint8_t> sector_tail;
};

class ImageBuilder {
  public:
    // An image of `sectors` sectors with `blocks` directory blocks; the directory date is
    // the BCD word `date` (0: none).
    explicit ImageBuilder(std::int64_t sectors, std::int64_t blocks = 8, std::uint32_t date = 0);

    ImageBuilder& comment(const std::string& text);
    ImageBuilder& default_partition_table();
    ImageBuilder& file(const FileSpec& file_spec);
    // An EMPTY entry of n sectors (its directory sector not counted).
    ImageBuilder& empty(std::int64_t n);
    // A deleted file whose directory sector lies `offset` sectors into the last EMPTY area
    // added (offset 0: the EMPTY entry's own directory sector).
    ImageBuilder& deleted(std::int64_t offset, FileSpec file_spec);
    // An entry of eight raw words; it occupies `sectors` + 1 sectors of the running start.
    ImageBuilder& raw_entry(const std::vector<std::int64_t>& words, std::int64_t sectors);
    // Without this, the space left before the disk end becomes one EMPTY entry.
    ImageBuilder& no_fill();

    std::int64_t sectors() const { return sectors_; }
    std::int64_t blocks() const { return blocks_; }
    std::int64_t first_start() const { return blocks_ + 193; }
    // Start sector of entry k (0-based), as laid out by build().
    std::int64_t start_of(std::size_t k) const;

    // The whole image in memory.
    std::vector<std::uint8_t> build() const;
    // Writes the image as a sparse file: only sectors holding data are written.
    void write(const std::string& path) const;

  private:
    struct Item {
        enum Kind { file, empty, raw } kind;
        FileSpec file_spec;
        std::int64_t sectors = 0;
        std::vector<std::int64_t> words;
        std::vector<std::pair<std::int64_t, FileSpec>> deleted;
    };
    std::vector<Item> layout() const;
    std::map<std::int64_t, std::vector<std::uint8_t>> sector_map() const;
    static std::int64_t data_sectors(std::int64_t words) { return (words + 255) / 256; }

    std::int64_t sectors_;
    std::int64_t blocks_;
    std::uint32_t date_;
    std::string comment_;
    bool partition_table_ = false;
    bool fill_ = true;
    std::vector<Item> items_;
};

// A file of `words` words with the given data and every other field at its default.
inline FileSpec named(const std::string& name, std::int64_t words, std::vector<std::uint8_t> data = {}) {
    FileSpec file_spec;
    file_spec.name = name;
    file_spec.words = words;
    file_spec.data = std::move(data);
    return file_spec;
}

// A directory sector (768 bytes) for a file starting at `start`.
std::vector<std::uint8_t> directory_sector(const FileSpec& file_spec, std::int64_t start);

} // namespace test
