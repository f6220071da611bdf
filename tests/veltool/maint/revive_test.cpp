// rev, res and fix end to end, and the units of res: revived files come back byte for
// byte, reservations take the right area, a replaced file survives a reservation that
// does not fit, and fix puts good directory sectors in order.
#include <gtest/gtest.h>

#include "tests/support/disk.h"
#include "veltool/maint/revive.h"

using namespace test;

namespace {

constexpr std::uint32_t X_BIT = 0100000, P_BIT = 0400000;

FileSpec program(const std::string& name, std::int64_t words, std::uint32_t letters, std::int32_t load,
                 std::int32_t start, std::int32_t info_address, std::int32_t info_size) {
    FileSpec f = file_spec(name, words, 5);
    f.attributes |= letters;
    f.load_address = load;
    f.program_start = start;
    f.user_info_address = info_address;
    f.user_info_size = info_size;
    return f;
}

// A file with every field of its directory sector set.
FileSpec described(const std::string& name, std::uint32_t letters = X_BIT) {
    FileSpec f = program(name, 700, letters | 3, 01000, 01010, 02000, 010);
    f.ext = "SAV";
    f.tag = "T1";
    f.date = bcd3(24, 12, 99);
    f.comment = "keep me";
    return f;
}

// 236 files of 0 words: with an EMPTY area, one more file and the area at the end, 239 of
// the 240 entries of 8 blocks.
ImageBuilder nearly_full() {
    ImageBuilder b(600);
    for (int i = 0; i < 236; ++i)
        b.file(file_spec("F" + std::to_string(i), 0));
    return b;
}

} // namespace

TEST(Rev, DeletedFilesComeBackUnchanged) {
    FileSpec x = described("X", X_BIT | P_BIT);
    Bytes kept = ImageBuilder(400, 8, bcd3(2, 1, 90))
                     .file(file_spec("A", 100))
                     .file(x)
                     .file(file_spec("B", 0))
                     .build();
    Disk d(ImageBuilder(400, 8, bcd3(2, 1, 90))
               .file(file_spec("A", 100))
               .empty(3)
               .deleted(0, x)
               .file(file_spec("B", 0))
               .build());
    auto r = d.run("REV", {"x.*"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(d.bytes(), kept);

    // Deleted with del, neighbours merged: the same file again.
    Disk deleted(
        ImageBuilder(400).file(file_spec("A", 100)).file(x).empty(2).file(file_spec("B", 0)).build());
    EXPECT_EQ(deleted.run("DEL", {"-o", "Y", "X.SAV"}).status, 0);
    EXPECT_EQ(deleted.run("REV", {"X.SAV"}).out, "");
    EXPECT_EQ(deleted.bytes(),
              ImageBuilder(400).file(file_spec("A", 100)).file(x).empty(2).file(file_spec("B", 0)).build());

    // In the middle of an area: EMPTY, file, EMPTY.
    Disk middle(
        ImageBuilder(400).file(file_spec("A", 0)).empty(20).deleted(5, x).file(file_spec("B", 0)).build());
    EXPECT_EQ(middle.run("REV", {}).out, "");
    EXPECT_EQ(
        middle.bytes(),
        ImageBuilder(400).file(file_spec("A", 0)).empty(4).file(x).empty(11).file(file_spec("B", 0)).build());
}

TEST(Rev, NewNamesSelectionAndNotFound) {
    FileSpec x = file_spec("X", 0), y = file_spec("Y", 256, 1), z = file_spec("Z", 768, 2);
    y.tag = "T2";
    // X at the area's start, Y inside it, Z running past its end.
    Bytes before = ImageBuilder(400)
                       .file(file_spec("A", 0))
                       .empty(10)
                       .deleted(0, x)
                       .deleted(4, y)
                       .deleted(8, z)
                       .file(file_spec("B", 0))
                       .build();
    Disk d(before);
    EXPECT_EQ(d.run("REV", {"z"}).out, "FILE NOT FOUND: z\n");
    EXPECT_EQ(d.run("REV", {"-r", "T1", "Y"}).out, "FILE NOT FOUND: Y\n");
    EXPECT_EQ(d.run("REV", {"-o", "r", "Z", "Q", "NEW"}).out, "");
    EXPECT_EQ(d.run("REV", {"Z", "Q", "NEW"}).out, "FILE NOT FOUND: Z, Q\n");
    EXPECT_EQ(d.bytes(), before);

    auto r = d.run("REV", {"?", "new.dat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "WARNING: ILLEGAL OUTPUT FILENAME: NEW.DAT\n");
    x.name = "NEW";
    x.ext = "DAT";
    Bytes after = d.bytes();
    EXPECT_EQ(
        sectors_of(after, 192, 10),
        sectors_of(ImageBuilder(400).file(file_spec("A", 0)).file(x).empty(9).file(file_spec("B", 0)).build(),
                   192, 10));
    EXPECT_EQ(sectors_of(after, 202, 11), sectors_of(before, 202, 11)); // Y and Z still deleted
}

TEST(Rev, FullDirectoryKeepsWhatWasRevived) {
    // X at the start of the area needs one entry (the rest), Y inside the rest two.
    Bytes before = nearly_full()
                       .empty(10)
                       .deleted(0, file_spec("X", 0))
                       .deleted(5, file_spec("Y", 0))
                       .file(file_spec("B", 0))
                       .build();
    Disk plain(before), forced(before);
    auto r = plain.run("REV", {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: DIRECTORY FULL\n");
    EXPECT_EQ(forced.run("REV", {"-o", "F"}).err, "WARNING: DIRECTORY FULL\n");
    EXPECT_EQ(plain.bytes(), forced.bytes());
    EXPECT_EQ(plain.run("DIR", {"-o", "n", "?"}).out, "X            \nB            \n");
}

TEST(Res, SizeUnits) {
    std::pair<const char*, std::int64_t> cases[] = {
        {"10", 2560},    {"10W", 10},
        {"0x10w", 16},   {"2K", 2048},
        {"1m", 1048576}, {"3000M", 3145728000},
        {"7q", 1792},    {"-5", 0},
        {"x", 0},        {"99999999999999999999K", INT64_MAX},
    };
    for (auto [text, words] : cases)
        EXPECT_EQ(veltool::reservation_words(text), words) << text;
}

TEST(Res, ReservesByBestFitOrTheLargestArea) {
    // A 201, EMPTY 202 (50 sectors of old data), B 253, EMPTY 254 (722 sectors).
    Bytes before = ImageBuilder(1000).file(file_spec("A", 0)).empty(50).file(file_spec("B", 0)).build();
    std::copy_n(pattern(51 * SECTOR, 7).begin(), 51 * SECTOR, before.begin() + 201 * SECTOR);
    Disk d(before);
    for (auto arguments : {std::vector<std::string>{"r1", "10"}, {"R2", "10W"}, {"R3", "2K"}, {"R4"}}) {
        auto r = d.run("RES", arguments);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");
    }
    FileSpec r1 = file_spec("R1", 2560);
    Bytes after = d.bytes();
    EXPECT_EQ(sectors_of(after, 192, 8), sectors_of(ImageBuilder(1000)
                                                        .file(file_spec("A", 0))
                                                        .file(r1)
                                                        .file(file_spec("R2", 10))
                                                        .file(file_spec("R3", 2048))
                                                        .empty(28)
                                                        .file(file_spec("B", 0))
                                                        .file(file_spec("R4", 722 * 256))
                                                        .build(),
                                                    192, 8));
    // Only words 0-15 and the comment of the directory sector are written.
    r1.date = today_word();
    Bytes head = directory_sector(r1, 202);
    std::copy_n(head.begin(), 120, before.begin() + 201 * SECTOR);
    EXPECT_EQ(sectors_of(after, 201, 11), sectors_of(before, 201, 11));
    EXPECT_EQ(d.run("RES", {}).err, "ERROR: DESTINATION FILENAME NOT SPECIFIED\n");
}

TEST(Res, ReplacesUnprotectedFilesAndRestoresThemWhenTheReservationFails) {
    FileSpec p = file_spec("P", 256), q = described("Q");
    p.attributes |= P_BIT;
    Bytes before = ImageBuilder(400).file(p).empty(2).file(q).empty(1).file(file_spec("B", 0)).build();
    Disk d(before);
    EXPECT_EQ(d.run("RES", {"p", "1"}).err, "ERROR: ILLEGAL OUTPUT FILENAME: P\n");
    EXPECT_EQ(d.run("RES", {"Q.SAV", "3000M"}).err, "ERROR: DISK FULL\n");
    EXPECT_EQ(d.bytes(), before);

    EXPECT_EQ(d.run("RES", {"-o", "y", "P", "1"}).err, "");
    // P's area merges with the free space after it; the new P fits the smaller area after Q.
    Bytes expected =
        ImageBuilder(400).empty(4).file(q).file(file_spec("P", 256)).file(file_spec("B", 0)).build();
    EXPECT_EQ(sectors_of(d.bytes(), 192, 8), sectors_of(expected, 192, 8));

    // A split that the full directory cannot take.
    before = nearly_full().file(file_spec("G", 0)).file(described("X")).file(file_spec("B", 0)).build();
    Disk full(before);
    EXPECT_EQ(full.run("RES", {"X.SAV", "1"}).err, "ERROR: DIRECTORY FULL\n");
    EXPECT_EQ(full.bytes(), before);
}

TEST(Fix, NormalisesGoodFilesAndFreesBadEntries) {
    // Program start 0 outside, inside and at the load address; user info too long, at 0, kept.
    FileSpec g1 = program("G1", 300, X_BIT, 01000, 0, 02000, 300),
             g2 = program("G2", 300, 0, 01000, 01010, 0, 10), g3 = program("G3", 10, X_BIT, 0, 0, 5, 0330);
    FileSpec missing = file_spec("M", 0), wrong = file_spec("W", 0), deleted = file_spec("D", 0),
             odd = file_spec("N", 0);
    missing.write_sector = false;
    wrong.sector_size_word = 1;
    deleted.magic = DELETED_MAGIC;
    odd.attributes = 0;
    Bytes before = ImageBuilder(400)
                       .empty(2)
                       .empty(3)
                       .file(g1)
                       .file(g2)
                       .file(g3)
                       .file(missing)
                       .file(wrong)
                       .file(deleted)
                       .file(odd)
                       .build();
    Disk d(before);
    auto r = d.run("FIX", {});
    EXPECT_EQ(r.status, 0);
    const std::string corrupt = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: ";
    EXPECT_EQ(r.out + r.err, corrupt + "M\n" + corrupt + "W\n" + corrupt + "W\n" + corrupt + "D\n");
    g1.attributes = REGULAR | P_BIT, g1.program_start = -1, g1.user_info_address = -1, g1.user_info_size = 0;
    g2.attributes = REGULAR | X_BIT | P_BIT, g2.user_info_address = -1, g2.user_info_size = 0;
    g3.attributes = REGULAR | P_BIT, g3.program_start = -1;
    Bytes after = d.bytes(), expected = ImageBuilder(400).empty(6).file(g1).file(g2).file(g3).build();
    EXPECT_EQ(sectors_of(after, 192, 23), sectors_of(expected, 192, 23));
    EXPECT_EQ(sectors_of(after, 215, 3), sectors_of(before, 215, 3)); // M, W and D as they were
    EXPECT_EQ(get24(after, 218 * SECTOR), static_cast<std::int32_t>(DELETED_MAGIC));
}
