#include "tests/support/image_builder.h"

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace test {

std::uint32_t six_bit(const std::string& chars) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        unsigned char c = i < chars.size() ? static_cast<unsigned char>(chars[i]) : ' ';
        std::uint32_t code;
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        if (c == ' ') {
            code = 0;
        } else if (c == '@') {
            code = 32;
        } else if (c >= 'A' && c <= '_') {
            code = c - 'A' + 1;
        } else if (c >= '!' && c <= '?') {
            code = c;
        } else {
            throw std::invalid_argument("no six-bit code for this character");
        }
        word = (word << 6) | code;
    }
    return word;
}

std::uint32_t bcd3(int a, int b, int c) {
    auto bcd = [](int v) { return static_cast<std::uint32_t>((v / 10) << 4 | (v % 10)); };
    return bcd(a) << 16 | bcd(b) << 8 | bcd(c);
}

void put24(std::vector<std::uint8_t>& bytes, std::size_t offset, std::int64_t value) {
    if (bytes.size() < offset + 3) bytes.resize(offset + 3);
    bytes[offset] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    bytes[offset + 2] = static_cast<std::uint8_t>(value & 0xFF);
}

std::int32_t get24(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::int32_t value = bytes.at(offset) << 16 | bytes.at(offset + 1) << 8 | bytes.at(offset + 2);
    return value >= 0x800000 ? value - 0x1000000 : value;
}

std::time_t local_time(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::vector<std::uint8_t> text8(const std::string& text, std::size_t n) {
    std::vector<std::uint8_t> field(n, 0);
    for (std::size_t i = 0; i + 1 < n && i < text.size(); ++i)
        field[i] = static_cast<std::uint8_t>(text[i] | 0x80);
    return field;
}

namespace {

std::int64_t size_word(std::int64_t words) {
    return words <= 0x7FFFFF ? words : -((words + 255) / 256);
}

void put_name(std::vector<std::uint8_t>& bytes, std::size_t offset, const std::string& name,
              const std::string& ext) {
    put24(bytes, offset, six_bit(name.substr(0, 4)));
    put24(bytes, offset + 3, six_bit(name.size() > 4 ? name.substr(4, 4) : ""));
    put24(bytes, offset + 6, six_bit(ext));
}

} // namespace

std::vector<std::uint8_t> directory_sector(const FileSpec& file_spec, std::int64_t start) {
    std::vector<std::uint8_t> sector(SECTOR, 0);
    put24(sector, 0, file_spec.magic);
    put_name(sector, 3, file_spec.sector_name.value_or(file_spec.name),
             file_spec.sector_ext.value_or(file_spec.ext));
    put24(sector, 12, file_spec.sector_start.value_or(static_cast<std::int32_t>(start)));
    put24(sector, 15, file_spec.sector_size_word ? *file_spec.sector_size_word : size_word(file_spec.words));
    put24(sector, 18, file_spec.program_start);
    put24(sector, 21, file_spec.user_info_address);
    put24(sector, 24, file_spec.user_info_size);
    put24(sector, 27, file_spec.load_address);
    put24(sector, 30, file_spec.date);
    put24(sector, 33, file_spec.sector_attributes.value_or(file_spec.attributes));
    put24(sector, 36, six_bit(file_spec.sector_tag.value_or(file_spec.tag)));
    std::vector<std::uint8_t> comment = text8(file_spec.comment, 72);
    std::copy(comment.begin(), comment.end(), sector.begin() + 48);
    for (std::size_t i = 0; i < file_spec.sector_tail.size() && 120 + i < sector.size(); ++i) {
        sector[120 + i] = file_spec.sector_tail[i];
    }
    return sector;
}

ImageBuilder::ImageBuilder(std::int64_t sectors, std::int64_t blocks, std::uint32_t date)
    : sectors_(sectors), blocks_(blocks), date_(date) {}

ImageBuilder& ImageBuilder::comment(const std::string& text) {
    comment_ = text;
    return *this;
}

ImageBuilder& ImageBuilder::default_partition_table() {
    partition_table_ = true;
    return *this;
}

ImageBuilder& ImageBuilder::file(const FileSpec& file_spec) {
    Item item{Item::file, file_spec, data_sectors(file_spec.words), {}, {}};
    items_.push_back(item);
    return *this;
}

ImageBuilder& ImageBuilder::empty(std::int64_t n) {
    items_.push_back(Item{Item::empty, {}, n, {}, {}});
    return *this;
}

ImageBuilder& ImageBuilder::deleted(std::int64_t offset, FileSpec file_spec) {
    if (items_.empty() || items_.back().kind != Item::empty)
        throw std::logic_error("deleted() needs an EMPTY area");
    file_spec.magic = DELETED_MAGIC;
    items_.back().deleted.emplace_back(offset, file_spec);
    return *this;
}

ImageBuilder& ImageBuilder::raw_entry(const std::vector<std::int64_t>& words, std::int64_t sectors) {
    items_.push_back(Item{Item::raw, {}, sectors, words, {}});
    return *this;
}

ImageBuilder& ImageBuilder::no_fill() {
    fill_ = false;
    return *this;
}

std::vector<ImageBuilder::Item> ImageBuilder::layout() const {
    std::vector<Item> items = items_;
    std::int64_t running = first_start();
    for (const Item& item : items)
        running += item.sectors + 1;
    std::int64_t end = sectors_ - 23;
    if (fill_ && running < end) items.push_back(Item{Item::empty, {}, end - running - 1, {}, {}});
    return items;
}

std::int64_t ImageBuilder::start_of(std::size_t k) const {
    std::vector<Item> items = layout();
    std::int64_t start = first_start();
    for (std::size_t i = 0; i < k && i < items.size(); ++i)
        start += items[i].sectors + 1;
    return start;
}

std::map<std::int64_t, std::vector<std::uint8_t>> ImageBuilder::sector_map() const {
    std::map<std::int64_t, std::vector<std::uint8_t>> sectors;
    auto sector = [&](std::int64_t n) -> std::vector<std::uint8_t>& {
        auto& s = sectors[n];
        if (s.empty()) s.assign(SECTOR, 0);
        return s;
    };
    auto place_file = [&](const FileSpec& file_spec, std::int64_t start) {
        if (file_spec.write_sector) sector(start - 1) = directory_sector(file_spec, start);
        for (std::size_t i = 0; i < file_spec.data.size(); ++i) {
            sector(start + static_cast<std::int64_t>(i) / SECTOR)[i % SECTOR] = file_spec.data[i];
        }
    };

    std::vector<Item> items = layout();
    std::vector<std::uint8_t> directory(static_cast<std::size_t>(blocks_ * SECTOR), 0);
    for (std::int64_t b = 0; b < blocks_; ++b) {
        std::size_t base = static_cast<std::size_t>(b * SECTOR);
        put24(directory, base, 192 + b);
        put24(directory, base + 3, b == blocks_ - 1 ? -1 : 193 + b);
        put24(directory, base + 9, date_);
        put24(directory, base + 15, blocks_);
        put24(directory, base + 18, sectors_);
    }
    std::int64_t start = first_start();
    for (std::size_t k = 0; k < items.size(); ++k) {
        const Item& item = items[k];
        std::int64_t block = static_cast<std::int64_t>(k) / 30;
        if (block < blocks_) {
            std::size_t base = static_cast<std::size_t>(block * SECTOR);
            std::size_t slot = base + 48 + 24 * (k % 30);
            put24(directory, base + 6, static_cast<std::int64_t>(k % 30) + 1);
            if (item.kind == Item::raw) {
                for (std::size_t w = 0; w < 8 && w < item.words.size(); ++w)
                    put24(directory, slot + 3 * w, item.words[w]);
            } else if (item.kind == Item::empty) {
                put24(directory, slot, -1);
                put24(directory, slot + 3, -1);
                put24(directory, slot + 6, -1);
                put24(directory, slot + 9, start);
                put24(directory, slot + 12, -item.sectors);
            } else {
                const FileSpec& file_spec = item.file_spec;
                put_name(directory, slot, file_spec.name, file_spec.ext);
                put24(directory, slot + 9, file_spec.entry_start.value_or(static_cast<std::int32_t>(start)));
                put24(directory, slot + 12,
                      file_spec.entry_size_word ? *file_spec.entry_size_word : size_word(file_spec.words));
                put24(directory, slot + 15, file_spec.attributes);
                put24(directory, slot + 18, six_bit(file_spec.tag));
            }
        }
        if (item.kind == Item::file) place_file(item.file_spec, start);
        for (const auto& [offset, file_spec] : item.deleted)
            place_file(file_spec, start + offset);
        start += item.sectors + 1;
    }
    for (std::int64_t b = 0; b < blocks_; ++b) {
        auto first = directory.begin() + static_cast<std::ptrdiff_t>(b * SECTOR);
        sector(192 + b).assign(first, first + SECTOR);
    }
    if (!comment_.empty()) {
        std::vector<std::uint8_t> text = text8(comment_, 75);
        std::copy(text.begin(), text.end(), sector(191).begin());
    }
    if (partition_table_) {
        std::vector<std::uint8_t>& table = sector(188);
        put24(table, 0, 07250023);
        for (int i = 0; i < 8; ++i) {
            put24(table, 12 + 12 * i, i == 7 ? 8 : i);
            put24(table, 18 + 12 * i, i == 7 ? 660 : sectors_);
        }
    }
    return sectors;
}

std::vector<std::uint8_t> ImageBuilder::build() const {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(sectors_ * SECTOR), 0);
    for (const auto& [n, bytes] : sector_map()) {
        if (n < 0 || n >= sectors_) continue;
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(n * SECTOR));
    }
    return image;
}

void ImageBuilder::write(const std::string& path) const {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    bool ok = ftruncate(fd, sectors_ * SECTOR) == 0;
    for (const auto& [n, bytes] : sector_map()) {
        if (n < 0 || n >= sectors_) continue;
        ok = ok && pwrite(fd, bytes.data(), bytes.size(), n * SECTOR) == static_cast<ssize_t>(bytes.size());
    }
    close(fd);
    if (!ok) throw std::runtime_error("cannot write " + path);
}

} // namespace test
