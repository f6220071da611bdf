// A disk image in a scratch directory for end-to-end tests: the commands run on it, and
// test-side code reads it back.
#pragma once

#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/run.h"

namespace test {

using Bytes = std::vector<std::uint8_t>;

// `count` sectors of an image from sector n on.
inline Bytes sectors_of(const Bytes& bytes, std::int64_t n, std::int64_t count = 1) {
    return Bytes(bytes.begin() + n * SECTOR, bytes.begin() + (n + count) * SECTOR);
}

struct Disk {
    TempDir dir;
    std::string image = dir.file("disk.img");

    // No image file yet.
    Disk() = default;
    explicit Disk(const ImageBuilder& builder) { builder.write(image); }
    explicit Disk(const Bytes& bytes) { write_file(image, bytes); }

    // Runs VEL<command> on the image.
    RunResult run(const std::string& command, std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"-d", image});
        return run_vel(command, arguments);
    }
    Bytes bytes() const { return read_file(image); }
    // The first `length` bytes of sector n.
    Bytes sector(std::int64_t n, std::size_t length = SECTOR) const {
        Bytes all = bytes();
        auto first = all.begin() + n * SECTOR;
        return Bytes(first, first + static_cast<std::ptrdiff_t>(length));
    }
    // Word w of sector n, unsigned.
    std::uint32_t word(std::int64_t n, int w) const {
        return static_cast<std::uint32_t>(get24(bytes(), n * SECTOR + 3 * w)) & 0xFFFFFF;
    }
    // A host file beside the image; returns its path.
    std::string host(const std::string& name, const Bytes& content) const {
        write_file(dir.file(name), content);
        return dir.file(name);
    }
    // Directory entry k (first block) as name word 0, start and signed size word.
    std::tuple<std::uint32_t, std::int32_t, std::int32_t> entry(std::int64_t k) const {
        Bytes all = bytes();
        std::size_t at = 192 * SECTOR + 48 + 24 * static_cast<std::size_t>(k);
        return {static_cast<std::uint32_t>(get24(all, at)) & 0xFFFFFF, get24(all, at + 9),
                get24(all, at + 12)};
    }
    // The directory: "NAME.EXT$TAG start size-word" per file, "- start size-word" per EMPTY entry.
    std::string layout() const {
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
    static std::string chars(std::int32_t word) {
        std::string text;
        for (int shift = 18; shift >= 0 && ((word >> shift) & 077) != 0; shift -= 6) {
            int code = (word >> shift) & 077;
            text += static_cast<char>(code == 32 ? '@' : code < 32 ? code + 0x40 : code);
        }
        return text;
    }
};

// Exit status, standard output and standard error in one text: "status|out|err".
inline std::string outcome(const RunResult& r) {
    return std::to_string(r.status) + "|" + r.out + "|" + r.err;
}

// Today's date as a KAVOLT date word.
inline std::uint32_t today_word() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return bcd3(t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
}

} // namespace test
