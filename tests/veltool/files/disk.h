// An image file for the end-to-end tests of the file commands, read back by test-side code.
#pragma once

#include <string>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/run.h"

namespace test {

struct Disk {
    TempDir dir;
    std::string image;

    explicit Disk(const ImageBuilder& builder) : image(dir.file("disk.img")) { builder.write(image); }

    RunResult run(const std::string& command, std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"-d", image});
        return run_vel(command, arguments);
    }
    std::vector<std::uint8_t> bytes() const { return read_file(image); }
    std::vector<std::uint8_t> sector(std::int64_t n) const {
        auto all = bytes();
        return {all.begin() + n * SECTOR, all.begin() + (n + 1) * SECTOR};
    }
    // Word w of sector n, unsigned.
    std::uint32_t word(std::int64_t n, int w) const {
        return static_cast<std::uint32_t>(get24(bytes(), n * SECTOR + 3 * w)) & 0xFFFFFF;
    }
    // The directory: "NAME.EXT$TAG start size-word" per file, "- start size-word" per EMPTY entry.
    std::string layout() const {
        auto all = bytes();
        auto at = [&](std::int64_t offset) { return get24(all, offset); };
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

inline FileSpec named(const std::string& name, std::int64_t words, std::vector<std::uint8_t> data = {}) {
    FileSpec spec;
    spec.name = name;
    spec.words = words;
    spec.data = std::move(data);
    return spec;
}

} // namespace test
