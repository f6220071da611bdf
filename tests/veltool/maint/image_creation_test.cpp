// new and old end to end: sizes and their checks, the fresh image byte for byte, the system
// area moved out and in, and a disk of the largest size on a sparse file.
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

constexpr std::int64_t LARGEST = 8388607;

// A fresh image as new makes it: table, comment, one EMPTY entry after 128 blocks.
Bytes fresh(std::int64_t sectors, const std::string& comment) {
    return ImageBuilder(sectors, 128, today_word()).comment(comment).default_partition_table().build();
}

} // namespace

TEST(New, SizesUnitsAndTheChecksBeforeAnythingIsTouched) {
    const std::string small = "ERROR: disk image size too small\n",
                      large = "ERROR: disk image size too large\n";
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
        std::int64_t sectors; // of the image made, 0 for none
    } cases[] = {
        // clang-format off
        {{"-oF", "344"}, small, 0}, {{"-oF", "345"}, "", 345}, {{"-oF", "10K"}, small, 0},
        {{"-oF", "100k"}, "", 400}, {{"-oF", "1m"}, "", 4096}, {{"-oF", "01000q"}, "", 512},
        {{"-oF", "--", "-1"}, small, 0}, {{"-oF", "-b", "8", "225"}, "", 225},
        {{"-oF", "-b", "256", "473"}, "", 473}, {{"-oF", "-b", "256", "472"}, small, 0},
        {{"-oF", "-b", "7", "1000"}, "ERROR: number of directory blocks 7 not between 8 and 256\n", 0},
        {{"-b", "257", "10"}, "ERROR: number of directory blocks 257 not between 8 and 256\n", 0},
        {{"10"}, small, 0}, {{"1000"}, "ERROR: INITIALIZING VELTRA DISK IMAGE CLEARS ALL DATA !\n", 0},
        {{"-oF", "3000M"}, large, 0}, {{"-oF", std::to_string(LARGEST + 1)}, large, 0},
        {{"-oF", "99999999999999999999M"}, large, 0},
        // clang-format on
    };
    for (const Case& c : cases) {
        Disk d;
        EXPECT_EQ(outcome(d.run("NEW", c.arguments)), (c.err.empty() ? "0||" : "1||") + c.err);
        EXPECT_EQ(std::filesystem::exists(d.image) ? d.bytes().size() : 0,
                  static_cast<std::size_t>(c.sectors * SECTOR))
            << c.arguments.back();
    }
    Disk kept(pattern(1000 * SECTOR, 1));
    EXPECT_EQ(kept.run("NEW", {"1000"}).status, 1);
    EXPECT_EQ(kept.bytes(), pattern(1000 * SECTOR, 1));

    Disk made;
    EXPECT_EQ(made.run("NEW", {"-o", "f", "-c", "LAB DISK", "1000"}).status, 0);
    EXPECT_EQ(made.bytes(), fresh(1000, "LAB DISK")); // EMPTY at 321 with 655 sectors
}

TEST(OldAndNew, SystemAreaRoundTrip) {
    const Bytes source = pattern(300 * SECTOR, 1);
    Disk a(source);
    std::string system = a.dir.file("system.img");
    EXPECT_EQ(outcome(a.run("OLD", {"-f", system})), "0||");
    EXPECT_EQ(read_file(system), sectors_of(source, 0, 188));

    // Sectors 0 to 187, and sector 0 again into the last one; alone, or after a fresh start.
    for (Bytes expected : {pattern(400 * SECTOR, 2), fresh(400, "X")}) {
        Disk b(expected[0] == 0 ? Bytes{} : expected);
        EXPECT_EQ(outcome(b.run("NEW", {"-o", "F", "-f", system, "-c", "X", expected[0] == 0 ? "400" : ""})),
                  "0||");
        std::copy_n(source.begin(), 188 * SECTOR, expected.begin());
        std::copy_n(source.begin(), SECTOR, expected.end() - SECTOR);
        EXPECT_EQ(b.bytes(), expected);
    }
}

TEST(New, LargestDiskOnASparseFile) {
    Disk d;
    auto r = d.run("NEW", {"-o", "F", std::to_string(LARGEST)});
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat status {};
    ASSERT_EQ(stat(d.image.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, LARGEST * SECTOR);
    EXPECT_LT(status.st_blocks * 512, 16 << 20);

    // The free area and a reservation both lie far beyond 32-bit byte offsets.
    std::string free = std::to_string((LARGEST - 345) / 4) + " KWORDS = " + std::to_string(LARGEST - 345);
    EXPECT_EQ(d.run("DIR", {"-o", "0x404"}).out,
              "\nSPACE AVAILABLE: " + free + " SECTORS\nLARGEST EMPTY:   " + free + " SECTORS\n");
    EXPECT_EQ(d.run("RES", {"BIG", "3000M"}).err, "ERROR: DISK FULL\n");
    EXPECT_EQ(d.run("RES", {"BIG", "2000M"}).status, 0);
    EXPECT_EQ(d.run("DIR", {"-o", "4", "BIG"}).out, "BIG           (37200000)\n");

    // Sector 0 of a system area lands in the last sector, 6.4 GB into the file.
    std::string system = d.dir.file("system.img"), last = d.dir.file("last.img");
    write_file(system, pattern(188 * SECTOR, 5));
    EXPECT_EQ(d.run("NEW", {"-f", system}).status, 0);
    EXPECT_EQ(d.run("SCR", {"-f", last, "--", "-1"}).status, 0);
    EXPECT_EQ(read_file(last), sectors_of(pattern(188 * SECTOR, 5), 0));
}
