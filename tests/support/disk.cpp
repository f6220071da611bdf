#include "tests/support/disk.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>

namespace test {

namespace {

std::int64_t size_word(std::int64_t words) {
    return words <= 0x7FFFFF ? words : -((words + 255) / 256);
}

void put_name(Bytes& bytes, std::size_t offset, const std::string& name, const std::string& ext) {
    put24(bytes, offset, six_bit(name.substr(0, 4)));
    put24(bytes, offset + 3, six_bit(name.size() > 4 ? name.substr(4, 4) : ""));
    put24(bytes, offset + 6, six_bit(ext));
}

std::string chars(std::int32_t word) {
    std::string text;
    for (int shift = 18; shift >= 0 && ((word >> shift) & 077) != 0; shift -= 6) {
        int code = (word >> shift) & 077;
        text += static_cast<char>(code == 32 ? '@' : code < 32 ? code + 0x40 : code);
    }
    return text;
}

void place(Bytes& image, std::int64_t sector, const Bytes& bytes) {
    auto at = static_cast<std::size_t>(sector * SECTOR);
    if (at + bytes.size() <= image.size()) std::copy(bytes.begin(), bytes.end(), image.begin() + at);
}

} // namespace

FileSpec named(const std::string& name, std::int64_t words, Bytes data) {
    FileSpec f;
    auto dot = name.find('.');
    f.name = name.substr(0, dot), f.words = words, f.data = std::move(data);
    if (dot != std::string::npos) f.ext = name.substr(dot + 1);
    return f;
}

Bytes pattern(std::size_t n, int seed) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / SECTOR * 13 + seed * 31 + 1) & 0xFF);
    return bytes;
}

FileSpec file_spec(const std::string& name, std::int64_t words, int seed) {
    FileSpec f = named(name, words, pattern(static_cast<std::size_t>(words * 3), seed));
    f.sector_tail = pattern(SECTOR - 120, seed + 1);
    return f;
}

Bytes directory_sector(const FileSpec& f, std::int64_t start) {
    Bytes sector(SECTOR, 0);
    put24(sector, 0, f.magic);
    put_name(sector, 3, f.name, f.ext);
    put24(sector, 12, f.sector_start.value_or(static_cast<std::int32_t>(start)));
    put24(sector, 15, f.sector_size_word ? *f.sector_size_word : size_word(f.words));
    const std::int64_t words[] = {f.program_start, f.user_info_address, f.user_info_size, f.load_address,
                                  f.date,          f.attributes,        six_bit(f.tag)}; // words 6 to 12
    for (std::size_t w = 0; w < std::size(words); ++w)
        put24(sector, 3 * (w + 6), words[w]);
    Bytes comment = text8(f.comment, 72);
    std::copy(comment.begin(), comment.end(), sector.begin() + 48);
    for (std::size_t i = 0; i < f.sector_tail.size() && 120 + i < sector.size(); ++i)
        sector[120 + i] = f.sector_tail[i];
    return sector;
}

Bytes sectors_of(const Bytes& bytes, std::int64_t n, std::int64_t count) {
    return Bytes(bytes.begin() + n * SECTOR, bytes.begin() + (n + count) * SECTOR);
}

std::uint32_t today_word() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return bcd3(t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
}

std::vector<Bytes> torgil_sectors() {
    Bytes data(SECTOR, 0x5A);
    return {torgil_sector().bytes(), data, data, data, torgil_second_sector().bytes()};
}

FileSpec listed_program() {
    FileSpec f = named("PROG.SAV", 600);
    f.attributes = REGULAR | X | P | 5 | (3 << 8), f.load_address = 01000, f.program_start = 01010;
    f.user_info_address = 02000, f.user_info_size = 010, f.date = bcd3(24, 12, 99), f.tag = "T1";
    return f.comment = "first program", f;
}

FileSpec listed_text() {
    FileSpec f = named("XRAY.TXT", 257);
    return f.attributes = REGULAR | R, f.date = bcd3(1, 3, 5), f;
}

ImageBuilder::ImageBuilder(std::int64_t sectors, std::int64_t blocks, std::uint32_t date)
    : sectors_(sectors), blocks_(blocks), date_(date) {}

ImageBuilder& ImageBuilder::deleted(std::int64_t offset, FileSpec file_spec) {
    if (items_.empty() || items_.back().kind != Item::empty)
        throw std::logic_error("deleted() needs an EMPTY area");
    file_spec.magic = DELETED_MAGIC;
    items_.back().deleted.emplace_back(offset, file_spec);
    return *this;
}

Bytes ImageBuilder::build() const {
    Bytes image(static_cast<std::size_t>(sectors_ * SECTOR), 0);
    std::vector<Item> items = items_;
    std::int64_t start = blocks_ + 193, running = start;
    for (const Item& item : items)
        running += item.sectors + 1;
    if (fill_ && running < sectors_ - 23)
        items.push_back(Item{Item::empty, {}, sectors_ - 24 - running, {}, {}});
    auto place_file = [&](const FileSpec& f, std::int64_t at) {
        if (f.write_sector) place(image, at - 1, directory_sector(f, at));
        place(image, at, f.data);
    };

    Bytes directory(static_cast<std::size_t>(blocks_ * SECTOR), 0);
    for (std::int64_t b = 0; b < blocks_; ++b) {
        auto base = static_cast<std::size_t>(b * SECTOR);
        put24(directory, base, 192 + b);
        put24(directory, base + 3, b == blocks_ - 1 ? -1 : 193 + b);
        put24(directory, base + 9, date_);
        put24(directory, base + 15, blocks_);
        put24(directory, base + 18, sectors_);
    }
    for (std::size_t k = 0; k < items.size(); ++k) {
        const Item& item = items[k];
        auto block = static_cast<std::int64_t>(k / 30);
        if (block < blocks_) {
            auto base = static_cast<std::size_t>(block * SECTOR);
            std::size_t slot = base + 48 + 24 * (k % 30);
            put24(directory, base + 6, static_cast<std::int64_t>(k % 30) + 1);
            if (item.kind == Item::raw) {
                for (std::size_t w = 0; w < 8 && w < item.words.size(); ++w)
                    put24(directory, slot + 3 * w, item.words[w]);
            } else if (item.kind == Item::empty) {
                for (std::size_t w : {0, 3, 6})
                    put24(directory, slot + w, -1);
                put24(directory, slot + 9, start);
                put24(directory, slot + 12, -item.sectors);
            } else {
                const FileSpec& f = item.file_spec;
                put_name(directory, slot, f.name, f.ext);
                put24(directory, slot + 9, f.entry_start.value_or(static_cast<std::int32_t>(start)));
                put24(directory, slot + 12, size_word(f.words));
                put24(directory, slot + 15, f.attributes);
                put24(directory, slot + 18, six_bit(f.tag));
            }
        }
        if (item.kind == Item::file) place_file(item.file_spec, start);
        for (const auto& [offset, f] : item.deleted)
            place_file(f, start + offset);
        start += item.sectors + 1;
    }
    place(image, 192, directory);
    if (!comment_.empty()) place(image, 191, text8(comment_, 75));
    if (partition_table_) {
        Bytes table;
        put24(table, 0, 07250023);
        for (int i = 0; i < 8; ++i) {
            put24(table, 12 + 12 * i, i == 7 ? 8 : i);
            put24(table, 18 + 12 * i, i == 7 ? 660 : sectors_);
        }
        place(image, 188, table);
    }
    return image;
}

ImageBuilder image(const std::string& text) {
    std::istringstream in(text);
    std::string token;
    in >> token;
    auto slash = token.find('/');
    ImageBuilder builder(std::stoll(token),
                         slash == std::string::npos ? 8 : std::stoll(token.substr(slash + 1)));
    int seed = 0;
    while (in >> token) {
        if (token[0] == '-') {
            builder.empty(std::stoll(token.substr(1)));
            continue;
        }
        if (auto star = token.find('*'); star != std::string::npos) {
            for (int i = 0, n = std::stoi(token.substr(star + 1)); i < n; ++i)
                builder.file(file_spec(token.substr(0, star) + std::to_string(i), 0, ++seed));
            continue;
        }
        bool deleted = token[0] == '~';
        std::string item = token.substr(deleted ? 1 : 0);
        auto colon = item.find(':');
        std::string full = item.substr(0, colon), rest = item.substr(colon + 1);
        auto at = rest.find_first_of(":@");
        std::string flags = at == std::string::npos ? "" : rest.substr(at + 1);
        auto dollar = full.find('$');
        FileSpec f = file_spec(full.substr(0, dollar), std::stoll(rest.substr(0, at)), ++seed);
        if (dollar != std::string::npos) f.tag = full.substr(dollar + 1);
        if (deleted) {
            builder.deleted(std::stoll(flags), f);
            continue;
        }
        for (char c : flags) {
            std::string letters = "XCPNIR";
            if (auto bit = letters.find(c); bit != std::string::npos) f.attributes |= X << bit;
            if (c == '0') f.attributes = 0;
            if (c == 'd') f.magic = DELETED_MAGIC;
            if (c == 'b') f.sector_size_word = static_cast<std::int32_t>(f.words + 1);
            if (c == 'm') f.write_sector = false;
        }
        builder.file(f);
    }
    return builder;
}

RunResult Disk::run(const std::string& command, std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"-d", image});
    return run_vel(command, arguments);
}

RunResult Disk::traced(const std::string& command, std::vector<std::string> arguments,
                       const std::string& fail, bool journal) const {
    std::remove(dir.file("trace").c_str());
    arguments.insert(arguments.begin(), {"-d", image});
    const char* asan = std::getenv("ASAN_OPTIONS");
    return run_vel(command, arguments,
                   {"LD_PRELOAD=" IO_SHIM_PATH, "VELSHIM_FILE=" + image, "VELSHIM_LOG=" + dir.file("trace"),
                    "VELSHIM_FAIL=" + fail, "VELSHIM_FILE2=" + (journal ? image + ".journal" : ""),
                    "ASAN_OPTIONS=verify_asan_link_order=0:" + std::string(asan ? asan : "")});
}

std::string Disk::trace() const {
    Bytes log = read_file(dir.file("trace"));
    return std::string(log.begin(), log.end());
}

std::size_t Disk::writes() const {
    std::string log = trace();
    std::size_t n = 0;
    for (std::size_t at = 0; (at = log.find("write ", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

Bytes Disk::sector(std::int64_t n, std::size_t length) const {
    Bytes all = bytes();
    auto first = all.begin() + n * SECTOR;
    return Bytes(first, first + static_cast<std::ptrdiff_t>(length));
}

std::uint32_t Disk::word(std::int64_t n, int w) const {
    return static_cast<std::uint32_t>(get24(bytes(), static_cast<std::size_t>(n * SECTOR + 3 * w))) &
           0xFFFFFF;
}

std::string Disk::host(const std::string& name, const Bytes& content) const {
    write_file(dir.file(name), content);
    return dir.file(name);
}

std::vector<std::string> Disk::with_host(std::vector<std::string> arguments) const {
    for (std::string& argument : arguments)
        if (argument == "@") argument = host("h", pattern(134 * SECTOR, 5));
    return arguments;
}

std::string Disk::layout() const {
    Bytes all = bytes();
    auto at = [&](std::int64_t offset) { return get24(all, static_cast<std::size_t>(offset)); };
    std::string out;
    for (std::int64_t b = 0; b < at(192 * SECTOR + 15); ++b) {
        for (std::int64_t j = 0, base = (192 + b) * SECTOR; j < at(base + 6); ++j) {
            std::int64_t slot = base + 48 + 24 * j;
            std::string name = at(slot) == -1 ? "-" : chars(at(slot)) + chars(at(slot + 3));
            if (at(slot) != -1 && at(slot + 6) != 0) name += "." + chars(at(slot + 6));
            if (at(slot) != -1 && at(slot + 18) != 0) name += "$" + chars(at(slot + 18));
            out += (out.empty() ? "" : "; ") + name + " " + std::to_string(at(slot + 9)) + " " +
                   std::to_string(at(slot + 12));
        }
    }
    return out;
}

std::string order_faults(const std::string& trace, std::int64_t blocks) {
    std::istringstream in(trace);
    std::string event, faults;
    bool data_unflushed = false, unflushed = false, journal_unflushed = false;
    for (std::int64_t offset = 0, n = 0; in >> event;) {
        if (event == "flush") data_unflushed = unflushed = false;
        if (event == "jwrite" || event == "jflush") journal_unflushed = event == "jwrite";
        if (event != "write") continue;
        in >> offset >> n;
        bool directory = offset >= 192 * SECTOR && offset < (192 + blocks) * SECTOR;
        if (journal_unflushed) faults += "image before journal flushed; ";
        if (directory && data_unflushed) faults += "directory before data flushed; ";
        data_unflushed = data_unflushed || !directory;
        unflushed = true;
    }
    return faults + (unflushed ? "no flush after the last write" : "");
}

const std::string ENTRY = "ERROR: cannot write directory sector", SECTORS = "ERROR: cannot write disk sector";
// clang-format off
const std::vector<Command> COMMANDS = {
    {"DIR", {}}, {"SDI", {}}, {"DDI", {}}, {"REA", {"-f", "@", "A"}}, {"LIS", {"A"}}, {"SUM", {"A"}}, {"OCT", {"A"}},
    {"PTR", {}}, {"SCR", {"-f", "@", "0", "1"}}, {"DCR", {}}, {"OLD", {"-f", "@"}}, {"NEW", {"-o", "F", "400"}, SECTORS},
    {"DEL", {"A"}, ENTRY}, {"REN", {"A", "X"}, ENTRY}, {"COP", {"A", "X"}, SECTORS}, {"PTW", {}, SECTORS},
    {"WRI", {"-o", "D", "@"}, SECTORS}, {"SCW", {"-o", "F", "-f", "@", "200", "3"}, SECTORS},
    {"DCW", {"-c", "X"}, "ERROR: cannot write disk comment"},
    {"DRE", {"-b", "8"}, "ERROR: cannot write directory blocks"},
    {"PAC", {}, ENTRY}, {"REV", {"D"}, ENTRY}, {"RES", {"R", "1K"}, ENTRY}, {"FIX", {}, ENTRY}};
// clang-format on

std::string outcome(const RunResult& r) {
    return std::to_string(r.status) + "|" + r.out + "|" + r.err;
}

void check_rows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        Disk d(row.image.bytes);
        Bytes before = d.bytes();
        SCOPED_TRACE(row.command + " " + testing::PrintToString(row.arguments));
        EXPECT_EQ(outcome(d.run(row.command, row.arguments)), row.outcome);
        if (row.layout == "=") {
            EXPECT_TRUE(d.bytes() == before) << "the image changed";
        } else if (!row.layout.empty()) {
            EXPECT_EQ(d.layout(), row.layout);
        }
    }
}

} // namespace test
