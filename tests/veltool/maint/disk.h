// A disk image in a scratch directory for the maintenance commands' end-to-end tests, and
// the pieces of images those tests compare.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/run.h"

namespace test {

using Bytes = std::vector<std::uint8_t>;

struct Disk {
    TempDir dir;
    std::string image = dir.file("disk.img");

    explicit Disk(const Bytes& bytes = {}) {
        if (!bytes.empty()) write_file(image, bytes);
    }
    RunResult run(const std::string& command, std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"-d", image});
        return run_vel(command, arguments);
    }
    Bytes bytes() const { return read_file(image); }
};

// `count` sectors of an image from sector n on.
inline Bytes sectors_of(const Bytes& bytes, std::int64_t n, std::int64_t count = 1) {
    return Bytes(bytes.begin() + n * SECTOR, bytes.begin() + (n + count) * SECTOR);
}

// Bytes that differ from sector to sector and from seed to seed.
inline Bytes pattern(std::size_t n, int seed) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / SECTOR * 13 + seed * 31 + 1) & 0xFF);
    return bytes;
}

// A file with data and a user area in its directory sector.
inline FileSpec spec(const std::string& name, std::int64_t words, int seed = 0) {
    FileSpec f;
    f.name = name;
    f.words = words;
    f.data = pattern(static_cast<std::size_t>(words * 3), seed);
    f.sector_tail = pattern(SECTOR - 120, seed + 1);
    return f;
}

// The directory blocks of an image with their date words cleared.
inline Bytes undated_directory(const Bytes& bytes, std::int64_t blocks) {
    Bytes directory = sectors_of(bytes, 192, blocks);
    for (std::int64_t b = 0; b < blocks; ++b)
        put24(directory, static_cast<std::size_t>(b * SECTOR + 9), 0);
    return directory;
}

// Today's date as a KAVOLT date word.
inline std::uint32_t today_word() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return bcd3(t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
}

} // namespace test
