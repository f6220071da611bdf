// Reading the directory of damaged images: the warnings, the fatal errors, and what the
// commands make of what they read.
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

constexpr std::size_t DIRECTORY = 192 * SECTOR;

// The image with the 24-bit word at byte `offset` replaced, or with another size.
const auto patched = [](Bytes image, std::size_t offset, std::int64_t value) {
    return put24(image, offset, value), image;
};
const auto resized = [](Bytes image, std::size_t size) { return image.resize(size), image; };

// 31 files of 0 words, the 30th moved by hand to the front of block 1: block 0 holds 29.
Bytes room_left_in_block_0() {
    Bytes image = test::image("600 F*31");
    auto slot = [](std::size_t block, std::size_t j) { return DIRECTORY + block * SECTOR + 48 + 24 * j; };
    Bytes moved(image.begin() + slot(0, 29), image.begin() + slot(0, 30));
    std::copy_backward(image.begin() + slot(1, 0), image.begin() + slot(1, 2), image.begin() + slot(1, 3));
    std::copy(moved.begin(), moved.end(), image.begin() + slot(1, 0));
    put24(image, DIRECTORY + 6, 29);
    return patched(image, DIRECTORY + SECTOR + 6, 3);
}

const std::string RECOMMENDED = "WARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n";
const std::string REQUIRED = "CORRUPT DIRECTORY, DRE REQUIRED !\n";

} // namespace

TEST(Directory, DamageIsWarnedBeforeAndAfterTheMergeOrEndsTheRun) {
    const Bytes plain = ImageBuilder(400);
    FileSpec moved = named("B", 256), far = named("FAR", 0);
    moved.entry_start = 210;
    far.entry_start = 0;
    ImageBuilder a = ImageBuilder(400).file(named("A", 256));
    const std::string ab = "0|A            \nB            \n|";
    auto twice = [](const std::string& warnings) { return warnings + RECOMMENDED + warnings + RECOMMENDED; };
    auto blocks = [](int n) {
        return "1||ERROR: number of directory blocks " + std::to_string(n) + " not between 8 and 256\n" +
               REQUIRED;
    };
    auto last = [](const std::string& n) {
        return "WARNING: expected last sector " + n + " different from disk end 570\n";
    };
    struct Case {
        Bytes image;
        std::string outcome;
        std::vector<std::string> run = {"DIR", "-o", "n"};
    } cases[] = {
        // clang-format off
        {patched(plain, DIRECTORY + 15, 7), blocks(7)}, {patched(plain, DIRECTORY + 15, 257), blocks(257)},
        {patched(plain, DIRECTORY + 3, 0302),
            "1||ERROR: directory block 300: next block 302 should be 301\n" + REQUIRED},
        {resized(plain, DIRECTORY + 3 * SECTOR), "1||ERROR: cannot read directory blocks\n"},
        {resized(plain, DIRECTORY + 20), "1||ERROR: cannot read directory header\n"},
        {room_left_in_block_0(), "0|F29             SIZE =        0   CSUM =        0\n"
            "F30             SIZE =        0   CSUM =        0\n|", {"SUM", "F29", "F30"}},
        {resized(plain, plain.size() + 100),
            "0||" + twice("WARNING: disk image size is not a multiple of KAVOLT sector size\n")},
        {resized(plain, plain.size() + SECTOR),
            "0||" + twice("WARNING: number of sectors from directory 620 different from disk image size "
                          "621\n")},
        {patched(plain, DIRECTORY + 6, 0),
            "0||" + twice("WARNING: number of directory entries 0 not between 1 and 240\n" + last("310"))},
        {ImageBuilder(a).empty(171).no_fill(), "0|A            \n|" + twice(last("566"))},
        {ImageBuilder(a).file(named("BIG", 175 * 256)).no_fill(), "0|A            \nBIG          \n|" +
            twice("WARNING: entry 2: expected last sector 572 bigger than maximum 570\n" + last("572"))},
        {ImageBuilder(a).file(moved).raw_entry({-1, -1, -1, 212, -164}, 0).no_fill(), ab +
            twice("WARNING: entry 2: start sector 322 different from expected 313\n")},
        {ImageBuilder(400).file(named("A", 175 * 256)).file(named("B", 0)).no_fill(),
            ab + twice("WARNING: entry 2: expected start sector 571 bigger than maximum 570\n"
                       "WARNING: entry 2: expected last sector 571 bigger than maximum 570\n" + last("571"))},
        {ImageBuilder(400).raw_entry({-1, -1, -1, 201, 100}, 1),
            "0||WARNING: entry 1: empty size is not a multiple of KAVOLT sector size\n" + RECOMMENDED},
        {ImageBuilder(400).raw_entry({six_bit("S"), 0, 0, 201, -2, REGULAR}, 2).file(named("W", 512)),
            "0|S             (       2)\n :     311\nW             (       2)\n :     314\n|",
            {"DIR", "-o", "0x184"}},
        {ImageBuilder(400).raw_entry({six_bit("HUGE"), 0, 0, 201, -8388608, REGULAR}, 0).no_fill(),
            "0|HUGE          (40000000)\n|" +
            twice("WARNING: entry 1: expected last sector 40000311 bigger than maximum 570\n" +
                  last("40000311")),
            {"DIR", "-o", "4"}},
        {ImageBuilder(400).file(far), "1||" +
            twice("WARNING: entry 1: start sector 0 different from expected 311\n"
                  "WARNING: entry 2: start sector 312 different from expected 1\n") +
            "ERROR: cannot seek disk/file image:\nInvalid argument\n", {"LIS", "FAR"}},
        // clang-format on
    };
    for (const Case& c : cases) {
        Disk d(c.image);
        EXPECT_EQ(outcome(d.run(c.run[0], std::vector<std::string>(c.run.begin() + 1, c.run.end()))),
                  c.outcome);
    }
    // A block counts at most 30 entries, whatever its header says (the whole text is long).
    EXPECT_EQ(digest(outcome(Disk(patched(plain, DIRECTORY + 6, 31)).run("DIR", {"-o", "n"}))),
              "249b65279e54cb80");
}
