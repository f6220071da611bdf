// rev, res, fix, dre and pac end to end: revived files come back byte for byte, reservations
// take the right area, a replaced file survives a reservation that does not fit, and fix puts
// good directory sectors in order; the directory rebuilt from the directory sectors alone,
// files packed down with their data, and what each refuses.
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

FileSpec program(const std::string& name, std::int64_t words, std::uint32_t letters, std::int32_t load,
                 std::int32_t start, std::int32_t info_address, std::int32_t info_size) {
    FileSpec f = file_spec(name, words, 5);
    f.attributes |= letters, f.load_address = load, f.program_start = start;
    return f.user_info_address = info_address, f.user_info_size = info_size, f;
}

// 236 files of 0 words, in 8 blocks of 240 entries.
const std::string NEARLY_FULL = "600 F*236";

} // namespace

TEST(Rev, SelectionNewNamesAndFullDirectory) {
    // X at the area's start, Y inside it, Z running past its end.
    const std::string area = "400 A:0 -10 ~X:0@0 ~Y$T2:256@4 ~Z:768@8 B:0";
    // clang-format off
    check_rows({
        {area, "REV", {"z"}, "0|FILE NOT FOUND: z\n|", "="},
        {area, "REV", {"-r", "T1", "Y"}, "0|FILE NOT FOUND: Y\n|", "="},
        {area, "REV", {"-o", "r", "Z", "Q", "NEW"}, "0||", "="},
        {area, "REV", {"Z", "Q", "NEW"}, "0|FILE NOT FOUND: Z, Q\n|", "="},
        {area, "REV", {"?", "new.dat"}, "0||WARNING: ILLEGAL OUTPUT FILENAME: NEW.DAT\n",
         "A 201 0; NEW.DAT 202 0; - 203 -9; B 213 0; - 214 -162"},
        {area, "REV", {"-r", "T*"}, "0||", "A 201 0; - 202 -3; Y$T2 206 256; - 208 -4; B 213 0; - 214 -162"},
        {area, "REV", {"-r", "T1", "-z"}, "0||", "A 201 0; X 202 0; - 203 -9; B 213 0; - 214 -162"},
        // Files right behind one another.
        {"400 A:0 -10 ~X:0@0 ~Y:0@1 B:0", "REV", {}, "0||",
         "A 201 0; X 202 0; Y 203 0; - 204 -8; B 213 0; - 214 -162"},
        {"400 A:0 -10 ~A:0@0 ~Y:0@4 B:0", "REV", {}, "0||WARNING: ILLEGAL OUTPUT FILENAME: A\n",
         "A 201 0; - 202 -3; Y 206 0; - 207 -5; B 213 0; - 214 -162"},
        // X at the start of the area needs one entry more, Y inside the rest two.
        {NEARLY_FULL + " -10 ~X:0@0 ~Y:0@5 B:0", "REV", {}, "1||ERROR: DIRECTORY FULL\n", ""},
        {NEARLY_FULL + " -10 ~X:0@0 ~Y:0@5 B:0", "REV", {"-o", "F"}, "0||WARNING: DIRECTORY FULL\n", ""},
    });
    // clang-format on
    Disk d(NEARLY_FULL + " -10 ~X:0@0 ~Y:0@5 B:0");
    d.run("REV", {});
    EXPECT_EQ(d.run("DIR", {"-o", "n", "?"}).out, "X            \nB            \n");
}

TEST(Res, BestFitTheLargestAreaAndReplacements) {
    // A 201, EMPTY 202 (50 sectors), B 253, EMPTY 254 (722 sectors).
    const std::string two_areas = "1000 A:0 -50 B:0";
    const std::string p_and_q = "400 P:256:P -2 Q:700 -1 B:0";
    // clang-format off
    check_rows({
        {two_areas, "RES", {"r1", "10"}, "0||", "A 201 0; R1 202 2560; - 213 -39; B 253 0; - 254 -722"},
        {two_areas, "RES", {"R2", "2K"}, "0||", "A 201 0; R2 202 2048; - 211 -41; B 253 0; - 254 -722"},
        {two_areas, "RES", {"R4"}, "0||", "A 201 0; - 202 -50; B 253 0; R4 254 184832"},
        {"400 -2 A:0 -2 B:0", "RES", {"R", "1"}, "0||",
         "R 201 256; - 203 0; A 204 0; - 205 -2; B 208 0; - 209 -167"},
        {p_and_q, "RES", {"p", "1"}, "1||ERROR: ILLEGAL OUTPUT FILENAME: P\n", "="},
        {p_and_q, "RES", {"Q", "3000M"}, "1||ERROR: DISK FULL\n", "="},
        {p_and_q, "RES", {}, "1||ERROR: DESTINATION FILENAME NOT SPECIFIED\n", "="},
        {p_and_q, "RES", {"-o", "y", "P", "1"}, "0||", "- 201 -4; Q 206 700; P 210 256; B 212 0; - 213 -163"},
        {NEARLY_FULL + " G:0 X:700 B:0", "RES", {"X", "1"}, "1||ERROR: DIRECTORY FULL\n", "="},
    });
    // clang-format on
    // Only words 0-15 and the comment of the directory sector are written.
    Bytes before = image(two_areas);
    Disk d(before);
    ASSERT_EQ(outcome(d.run("RES", {"R1", "10"})), "0||");
    FileSpec r1 = named("R1", 2560);
    r1.date = today_word();
    Bytes head = directory_sector(r1, 202);
    std::copy_n(head.begin(), 120, before.begin() + 201 * SECTOR);
    EXPECT_EQ(sectors_of(d.bytes(), 201, 11), sectors_of(before, 201, 11));
}

TEST(Fix, NormalisesGoodFilesAndFreesBadEntries) {
    // Program start 0 outside, inside and at the load address; user info too long, at 0, kept.
    FileSpec g1 = program("G1", 300, X, 01000, 0, 02000, 300),
             g2 = program("G2", 300, 0, 01000, 01010, 0, 10), g3 = program("G3", 10, X, 0, 0, 5, 0330);
    FileSpec m = file_spec("M", 0), w = file_spec("W", 0), d_ = file_spec("D", 0), n = file_spec("N", 0);
    m.write_sector = false, w.sector_size_word = 1, d_.magic = DELETED_MAGIC, n.attributes = 0;
    ImageBuilder bad = ImageBuilder(400).empty(2).empty(3).file(g1).file(g2).file(g3);
    Disk d(bad.file(m).file(w).file(d_).file(n));
    const std::string corrupt = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: ";
    EXPECT_EQ(outcome(d.run("FIX", {})),
              "0||" + corrupt + "M\n" + corrupt + "W\n" + corrupt + "W\n" + corrupt + "D\n");
    g1.attributes = REGULAR | P, g1.program_start = -1, g1.user_info_address = -1, g1.user_info_size = 0;
    g2.attributes = REGULAR | X | P, g2.user_info_address = -1, g2.user_info_size = 0;
    g3.attributes = REGULAR | P, g3.program_start = -1;
    Bytes after = d.bytes(), expected = ImageBuilder(400).empty(6).file(g1).file(g2).file(g3);
    EXPECT_EQ(sectors_of(after, 192, 23), sectors_of(expected, 192, 23));
    EXPECT_EQ(sectors_of(after, 215, 3), sectors_of(bad, 215, 3)); // M, W and D as they were
    EXPECT_EQ(get24(after, 218 * SECTOR), static_cast<std::int32_t>(DELETED_MAGIC));
}

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

// The whole image after pac: up to the free space behind the files as if they had been written
// packed; from there as it was, with the directory sectors of the moved files marked deleted.
TEST(Pac, PackedImageByteForByte) {
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        // A gap of one sector in front of a longer file, adjacent files, a live file's sector
        // marked deleted, a moved directory sector just at the end of the packed files.
        {"600 A:300 -0 B:700 C:0 -1 D:256:d -2 E:1000 -2 F:0", "600 A:300 B:700 C:0 D:256 E:1000 F:0"},
        // A gap and a file longer than 4 MiB.
        {"16000 A:0 -6000 B:1600000 -1 C:512", "16000 A:0 B:1600000 C:512"},
    };
    // clang-format on
    for (const auto& [before, after] : rows) {
        SCOPED_TRACE(before);
        Disk d(before);
        Bytes expected = d.bytes();
        ASSERT_EQ(outcome(d.run("PAC", {})), "0||");
        std::string layout = d.layout();
        std::int64_t free_start = std::stoll(layout.substr(layout.rfind("- ") + 2)) - 1;
        Bytes packed = image(after);
        std::copy_n(packed.begin(), free_start * SECTOR, expected.begin());
        for (std::int64_t s = free_start; s * SECTOR < std::ssize(expected); ++s)
            if (get24(expected, s * SECTOR) == FILE_MAGIC) put24(expected, s * SECTOR, DELETED_MAGIC);
        EXPECT_TRUE(d.bytes() == expected);
    }
}
