// dre and pac end to end: the directory rebuilt from the directory sectors alone, files
// packed down with their data, and what each refuses.
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

TEST(Dre, RebuildsAZeroedDirectoryFromTheDirectorySectors) {
    FileSpec a = file_spec("A", 600, 1), b = file_spec("B", 100, 2), twin = file_spec("B", 300, 3),
             w = file_spec("W", 0);
    a.tag = "T1", a.comment = "first";
    // A 321, EMPTY 325 holding deleted D at 326, B 329, C 331, a second B 332, EMPTY 335.
    ImageBuilder built = ImageBuilder(1000, 128).file(a).empty(3).deleted(1, file_spec("D", 256)).file(b);
    Bytes before = built.file(file_spec("C", 0)).file(twin);
    // In the free area: no regular file, another start, past the disk end, and W to be found.
    FileSpec not_file = file_spec("X", 0), elsewhere = file_spec("Y", 0),
             too_long = file_spec("Z", 600 * 256);
    not_file.attributes = 0, elsewhere.sector_start = 999;
    // clang-format off
    for (auto [n, sector] : {std::pair{400, directory_sector(not_file, 401)},
             {410, directory_sector(elsewhere, 411)}, {420, directory_sector(too_long, 421)},
             {440, directory_sector(w, 441)}, {188, pattern(SECTOR, 9)}, {192, Bytes(128 * SECTOR, 0)}})
        std::copy(sector.begin(), sector.end(), before.begin() + n * SECTOR);
    // clang-format on
    Disk disk(before);
    EXPECT_EQ(disk.run("DIR", {}).err, "ERROR: number of directory blocks 0 not between 8 and 256\n"
                                       "CORRUPT DIRECTORY, DRE REQUIRED !\n");

    EXPECT_EQ(outcome(disk.run("DRE", {})), "0||");
    // The second B's extent and everything up to W become free space.
    EXPECT_EQ(disk.layout(), "A$T1 321 600; - 325 -3; B 329 100; C 331 0; - 332 -108; W 441 0; - 442 -534");
    Bytes after = disk.bytes(), expected = ImageBuilder(1000, 128).default_partition_table();
    EXPECT_EQ(get24(after, 192 * SECTOR + 9), static_cast<std::int32_t>(today_word()));
    // Apart from the directory and the 108 bytes of the partition table, nothing changed.
    std::copy_n(expected.begin() + 188 * SECTOR, 108, before.begin() + 188 * SECTOR);
    std::copy_n(after.begin() + 192 * SECTOR, 128 * SECTOR, before.begin() + 192 * SECTOR);
    EXPECT_EQ(after, before);
}

TEST(Dre, LostFilesFullDirectoryAndLimits) {
    const std::string made = "400 L:0 -10 M:300"; // with 8 blocks: L at 201, EMPTY at 202, M at 213
    const std::string lost = "number of directory blocks 16 too large, some files may be lost\n";
    const std::string many = "600 F*245"; // 245 files need more than the 240 entries of 8 blocks
    // clang-format off
    check_rows({
        {made, "DRE", {"-b", "16"}, "1||ERROR: " + lost, "="},
        {made, "DRE", {"-b", "16", "-o", "F"}, "0||WARNING: " + lost, "- 209 -3; M 213 300; - 216 -160"},
        // 16 blocks end at 207: a file at 208 has its directory sector there, one at 209 right behind.
        {"400 -6 F:0", "DRE", {"-b", "16"}, "1||ERROR: " + lost, "="},
        {"400 -7 F:0", "DRE", {"-b", "16"}, "0||", "F 209 0; - 210 -166"},
        {made, "DRE", {"-b", "7"}, "1||ERROR: number of directory blocks 7 not between 8 and 256\n", "="},
        {"344", "DRE", {}, "1||ERROR: disk image too small\n", "="},
        {many, "DRE", {"-b", "8"}, "1||ERROR: DIRECTORY FULL\n", "="},
    });
    // clang-format on
    Disk full(many);
    EXPECT_EQ(outcome(full.run("DRE", {"-b", "8", "-o", "f"})), "0||WARNING: DIRECTORY FULL\n");
    EXPECT_TRUE(full.layout().ends_with("; F238 439 0; - 440 -136")) << full.layout();
}

TEST(Pac, IllegalEntriesAndBadDirectorySectors) {
    const std::string bad = "400 -2 BAD:10:b -3 G:300";
    const std::string mismatch = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD\n";
    // clang-format off
    check_rows({
        {"400 F:0 X:256:0 F2:300", "PAC", {}, "0|DELETING ILLEGAL ENTRY X\n|",
         "F 201 0; F2 202 300; - 205 -171"},
        {bad, "PAC", {}, "1||" + mismatch + "ERROR: CORRUPT DIRECTORY, DRE REQUIRED !\n", "="},
        {bad, "PAC", {"-o", "F"}, "0||" + mismatch + "WARNING: CORRUPT DIRECTORY, DRE REQUIRED !\n",
         "- 201 -2; BAD 204 10; G 206 300; - 209 -167"},
    });
    // clang-format on
}
