// The pieces of images that the maintenance commands' end-to-end tests compare.
#pragma once

#include <string>
#include <vector>

#include "tests/support/disk.h"

namespace test {

// Bytes that differ from sector to sector and from seed to seed.
inline Bytes pattern(std::size_t n, int seed) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / SECTOR * 13 + seed * 31 + 1) & 0xFF);
    return bytes;
}

// A file with data and a user area in its directory sector.
inline FileSpec file_spec(const std::string& name, std::int64_t words, int seed = 0) {
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

} // namespace test
