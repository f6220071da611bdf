// rev, res and fix end to end: revived files come back byte for byte, reservations take the
// right area, a replaced file survives a reservation that does not fit, and fix puts good
// directory sectors in order.
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
