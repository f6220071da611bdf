// dre and pac end to end: the directory rebuilt from the directory sectors alone, files
// packed down with their data, and what each refuses.
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

// The directory blocks of an image with their date words cleared.
Bytes undated_directory(const Bytes& bytes, std::int64_t blocks) {
    Bytes directory = sectors_of(bytes, 192, blocks);
    for (std::int64_t b = 0; b < blocks; ++b)
        put24(directory, static_cast<std::size_t>(b * SECTOR + 9), 0);
    return directory;
}

} // namespace

TEST(Dre, RebuildsAZeroedDirectoryFromTheDirectorySectors) {
    FileSpec a = file_spec("A", 600, 1), b = file_spec("B", 100, 2), twin = file_spec("B", 300, 3),
             w = file_spec("W", 0);
    a.tag = "T1";
    a.comment = "first";
    // A 321, EMPTY 325 holding deleted D at 326, B 329, C 331, a second B 332, EMPTY 335.
    Bytes before = ImageBuilder(1000, 128)
                       .file(a)
                       .empty(3)
                       .deleted(1, file_spec("D", 256))
                       .file(b)
                       .file(file_spec("C", 0))
                       .file(twin)
                       .build();
    // In the free area: no regular file, another start, past the disk end, and W to be found.
    FileSpec not_file = file_spec("X", 0), elsewhere = file_spec("Y", 0),
             too_long = file_spec("Z", 600 * 256);
    not_file.attributes = 0;
    elsewhere.sector_start = 999;
    for (auto [n, sector] : {std::pair{400, directory_sector(not_file, 401)},
                             {410, directory_sector(elsewhere, 411)},
                             {420, directory_sector(too_long, 421)},
                             {440, directory_sector(w, 441)},
                             {188, pattern(SECTOR, 9)},
                             {192, Bytes(128 * SECTOR, 0)}})
        std::copy(sector.begin(), sector.end(), before.begin() + n * SECTOR);
    Disk disk(before);
    EXPECT_EQ(
        disk.run("DIR", {}).err,
        "ERROR: number of directory blocks 0 not between 8 and 256\nCORRUPT DIRECTORY, DRE REQUIRED !\n");

    auto r = disk.run("DRE", {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    // The second B's extent and everything up to W become free space.
    Bytes expected = ImageBuilder(1000, 128)
                         .default_partition_table()
                         .file(a)
                         .empty(3)
                         .file(b)
                         .file(file_spec("C", 0))
                         .empty(108)
                         .file(w)
                         .build();
    Bytes after = disk.bytes();
    EXPECT_EQ(undated_directory(after, 128), undated_directory(expected, 128));
    EXPECT_EQ(get24(after, 192 * SECTOR + 9), static_cast<std::int32_t>(today_word()));
    // Apart from the directory and the 108 bytes of the partition table, nothing changed.
    std::copy_n(expected.begin() + 188 * SECTOR, 108, before.begin() + 188 * SECTOR);
    std::copy_n(after.begin() + 192 * SECTOR, 128 * SECTOR, before.begin() + 192 * SECTOR);
    EXPECT_EQ(after, before);
}

TEST(Dre, LostFilesFullDirectoryAndLimits) {
    // Made with 8 blocks: L at 201, EMPTY at 202, M at 213.
    Bytes made = ImageBuilder(400).file(file_spec("L", 0)).empty(10).file(file_spec("M", 300, 1)).build();
    Disk disk(made);
    const std::string lost = "number of directory blocks 16 too large, some files may be lost\n";
    EXPECT_EQ(disk.run("DRE", {"-b", "16"}).err, "ERROR: " + lost);
    EXPECT_EQ(disk.bytes(), made);
    EXPECT_EQ(disk.run("DRE", {"-b", "16", "-o", "F"}).err, "WARNING: " + lost);
    EXPECT_EQ(undated_directory(disk.bytes(), 16),
              undated_directory(ImageBuilder(400, 16).empty(3).file(file_spec("M", 300, 1)).build(), 16));

    // 245 files of 0 words need more than the 240 entries of 8 blocks.
    ImageBuilder many(600), kept(600);
    for (int i = 0; i < 245; ++i) {
        many.file(file_spec("F" + std::to_string(i), 0));
        if (i < 239) kept.file(file_spec("F" + std::to_string(i), 0));
    }
    Disk full(many.build());
    EXPECT_EQ(full.run("DRE", {"-b", "8"}).err, "ERROR: DIRECTORY FULL\n");
    EXPECT_EQ(full.bytes(), many.build());
    EXPECT_EQ(full.run("DRE", {"-b", "8", "-o", "f"}).err, "WARNING: DIRECTORY FULL\n");
    EXPECT_EQ(undated_directory(full.bytes(), 8), undated_directory(kept.build(), 8));

    EXPECT_EQ(disk.run("DRE", {"-b", "7"}).err,
              "ERROR: number of directory blocks 7 not between 8 and 256\n");
    EXPECT_EQ(Disk(pattern(344 * SECTOR, 1)).run("DRE", {}).err, "ERROR: disk image too small\n");
}

TEST(Pac, SlidesEveryFileDownWithItsData) {
    // EMPTY 201, F1 at 203 (5 sectors, overlapping its new place), EMPTY 209, F2 at 214.
    FileSpec f1 = file_spec("F1", 1200, 1), f2 = file_spec("F2", 300, 2), x = file_spec("X", 256);
    f1.comment = "moved";
    Disk disk(ImageBuilder(400).empty(1).file(f1).empty(4).file(f2).build());
    auto r = disk.run("PAC", {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    Bytes after = disk.bytes();
    EXPECT_EQ(sectors_of(after, 192, 17), sectors_of(ImageBuilder(400).file(f1).file(f2).build(), 192, 17));
    EXPECT_EQ(disk.run("PAC", {}).out, "");
    EXPECT_EQ(disk.bytes(), after); // nothing left to move: nothing written

    x.attributes = 0;
    Disk illegal(ImageBuilder(400).file(file_spec("F", 0)).file(x).file(f2).build());
    r = illegal.run("PAC", {});
    EXPECT_EQ(r.out + r.err, "DELETING ILLEGAL ENTRY X\n");
    EXPECT_EQ(sectors_of(illegal.bytes(), 192, 12),
              sectors_of(ImageBuilder(400).file(file_spec("F", 0)).file(f2).build(), 192, 12));
}

TEST(Pac, StopsAtABadDirectorySectorUnlessForced) {
    FileSpec bad = file_spec("BAD", 10), g = file_spec("G", 300, 4);
    bad.sector_size_word = 11;
    Bytes before = ImageBuilder(400).empty(2).file(bad).empty(3).file(g).build();
    Disk disk(before);
    const std::string mismatch = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD\n";
    auto r = disk.run("PAC", {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, mismatch + "ERROR: CORRUPT DIRECTORY, DRE REQUIRED !\n");
    EXPECT_EQ(disk.bytes(), before);
    r = disk.run("PAC", {"-o", "F"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, mismatch + "WARNING: CORRUPT DIRECTORY, DRE REQUIRED !\n");
    Bytes expected = ImageBuilder(400).empty(2).file(bad).file(g).build();
    EXPECT_EQ(sectors_of(disk.bytes(), 192, 16), sectors_of(expected, 192, 16));
}
