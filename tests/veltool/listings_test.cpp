// dir, sdi and ddi end to end: exact listing lines, warnings and exit status.
#include <ctime>
#include <gtest/gtest.h>

#include "tests/support/disk.h"
#include "tests/support/run.h"

using namespace test;
using test::FileSpec;
using test::ImageBuilder;
using test::run_vel;
using test::TempDir;

namespace {

FileSpec prog() {
    FileSpec f;
    f.name = "PROG";
    f.ext = "SAV";
    f.words = 600;
    f.attributes = test::REGULAR | X | P | 5 | (3 << 8);
    f.load_address = 01000;
    f.program_start = 01010;
    f.user_info_address = 02000;
    f.user_info_size = 010;
    f.date = bcd3(24, 12, 99);
    f.tag = "T1";
    f.comment = "first program";
    return f;
}

FileSpec xray() {
    FileSpec f;
    f.name = "XRAY";
    f.ext = "TXT";
    f.words = 257;
    f.attributes = test::REGULAR | R;
    f.date = bcd3(1, 3, 5);
    return f;
}

FileSpec data() {
    FileSpec f;
    f.name = "DATA";
    f.tag = "T2";
    return f;
}

// PROG.SAV at 201 (3 sectors), EMPTY at 205 (2), XRAY.TXT at 208 (2), DATA at 211 (0),
// EMPTY at 212 up to the disk end (164 sectors).
ImageBuilder sample() {
    ImageBuilder b(400, 8, bcd3(2, 1, 90));
    b.comment("SAMPLE DISK").file(prog()).empty(2).file(xray()).file(data());
    return b;
}

std::string today() {
    std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, "%d.%b.%y", std::localtime(&now));
    return text;
}

std::string heading(const std::string& comment, const std::string& dre) {
    return comment + "\nACTUAL DATE: " + today() + "   DISK INITIALIZATION OR LAST DRE: " + dre + "\n\n";
}

using Listing = test::Disk;

} // namespace

TEST(Dir, DefaultMask) {
    Listing l(sample());
    auto r = l.run("DIR", {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "PROG    .SAV  [      1K]    1000-    2127;    1010\n"
                     "XRAY    .TXT  [      1K]       0-     400         \n"
                     "DATA          [      0K]       0-37777777777         \n"
                     "\n"
                     "SPACE AVAILABLE:      41 K\n"
                     "LARGEST EMPTY:        41 K\n");
}

TEST(Dir, FullMask) {
    Listing l(sample());
    auto r = l.run("DIR", {"-o", "f"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, heading("SAMPLE DISK", "02.Jan.90") +
                         "PROG    .SAV  'AXP    5!  3 (       3) [      1K]\n"
                         "    1000-    2127;    1010 +    2000# 10 24.Dec.99 :     311 $T1  \n"
                         "\\first program\n"
                         "[EMPTY]                     (       2) [      0K]  :     315\n"
                         "XRAY    .TXT  'R      0!  0 (       2) [      1K]\n"
                         "       0-     400                        01.Mar.05 :     320\n"
                         "\\\n"
                         "DATA          'A      0!  0 (       0) [      0K]\n"
                         "       0-37777777777                        01.Jan.70 :     323 $T2  \n"
                         "\\\n"
                         "[EMPTY]                     (     244) [     41K]  :     324\n"
                         "\n"
                         "SPACE AVAILABLE:      41 KWORDS =     166 SECTORS\n"
                         "LARGEST EMPTY:        41 KWORDS =     164 SECTORS\n"
                         "FILE ENTRIES USED:     5 of  240\n");
}

TEST(Dir, PresetsAndNumericMasks) {
    Listing l(sample());
    EXPECT_EQ(l.run("DIR", {"-o", "B"}).out, "PROG    .SAV  [      1K]\n"
                                             "XRAY    .TXT  [      1K]\n"
                                             "DATA          [      0K]\n"
                                             "\n"
                                             "SPACE AVAILABLE:      41 K\n"
                                             "LARGEST EMPTY:        41 K\n");
    EXPECT_EQ(l.run("DIR", {"-o", "n"}).out, "PROG    .SAV \nXRAY    .TXT \nDATA         \n");
    EXPECT_EQ(l.run("DIR", {"-o", "0"}).out, "PROG    .SAV \nXRAY    .TXT \nDATA         \n");
    EXPECT_EQ(l.run("DIR", {"-o", "4"}).out, "PROG    .SAV  (       3)\n"
                                             "XRAY    .TXT  (       2)\n"
                                             "DATA          (       0)\n");
    EXPECT_EQ(l.run("DIR", {"-o", "024"}).out, "PROG    .SAV  (       3)\n"
                                               "    1000-    2127;    1010\n"
                                               "XRAY    .TXT  (       2)\n"
                                               "       0-     400         \n"
                                               "DATA          (       0)\n"
                                               "       0-37777777777         \n");
    EXPECT_EQ(l.run("DIR", {"-o", "0x180"}).out, "PROG    .SAV  :     311 $T1  \n"
                                                 "XRAY    .TXT  :     320\n"
                                                 "DATA          :     323 $T2  \n");
    EXPECT_EQ(l.run("DIR", {"-o", "0x22"}).out, "PROG    .SAV    5!  3\n +    2000# 10\n"
                                                "XRAY    .TXT    0!  0\n              \n"
                                                "DATA            0!  0\n              \n");
    EXPECT_EQ(l.run("DIR", {"-o", "xyz"}).out, l.run("DIR", {}).out);
}

TEST(Dir, CommentHeadingAndCountWithTheCMask) {
    Listing l(ImageBuilder(400));
    EXPECT_EQ(l.run("DIR", {"-o", "c"}).out, heading("", "01.Jan.70") + "[EMPTY]       [     43K]\n"
                                                                        "\n"
                                                                        "SPACE AVAILABLE:      43 K\n"
                                                                        "LARGEST EMPTY:        43 K\n"
                                                                        "FILE ENTRIES USED:     1 of  240\n");
}

TEST(Dir, NamePatternsAndTags) {
    Listing l(sample());
    EXPECT_EQ(l.run("DIR", {"-o", "n", "x*.txt"}).out, "XRAY    .TXT \n");
    EXPECT_EQ(l.run("DIR", {"-o", "n", "*.SAV", "d*"}).out, "PROG    .SAV \nDATA         \n");
    EXPECT_EQ(l.run("DIR", {"-o", "n", "-r", "t*"}).out, "PROG    .SAV \nDATA         \n");
    EXPECT_EQ(l.run("DIR", {"-o", "n", "-r", "t*", "-z"}).out,
              "PROG    .SAV \nXRAY    .TXT \nDATA         \n");
    EXPECT_EQ(l.run("DIR", {"-o", "n", "-r", "T2"}).out, "DATA         \n");
    EXPECT_EQ(l.run("DIR", {"-o", "n", "nothing"}).out, "");
}

TEST(Dir, PatternsHideFreeAreasButTheSummaryCountsThem) {
    Listing l(sample());
    auto with_pattern = l.run("DIR", {"-o", "f", "DATA"}).out;
    EXPECT_EQ(with_pattern.find("[EMPTY]"), std::string::npos);
    EXPECT_NE(with_pattern.find("SPACE AVAILABLE:      41 KWORDS =     166 SECTORS\n"), std::string::npos);
    // A tag pattern alone does not hide them.
    EXPECT_NE(l.run("DIR", {"-o", "f", "-r", "T2"}).out.find("[EMPTY]"), std::string::npos);
}

TEST(Dir, IllegalEntries) {
    FileSpec bad = data();
    bad.attributes = test::REGULAR | NOT_FILE | I | C;
    FileSpec untagged = bad;
    untagged.name = "UNTAG";
    untagged.tag = "";
    ImageBuilder b(400);
    b.file(bad).file(untagged);
    Listing l(b);
    EXPECT_EQ(l.run("DIR", {"-o", "0x1ff"}).out,
              "DATA          'IC     0!  0 (       0) [      0K]  :     311 $T2     *** ILLEGAL ENTRY ***\n"
              "UNTAG         'IC     0!  0 (       0) [      0K]  :     312        *** ILLEGAL ENTRY ***\n");
    EXPECT_EQ(l.run("DIR", {"-o", "n"}).out,
              "DATA            *** ILLEGAL ENTRY ***\nUNTAG           *** ILLEGAL ENTRY ***\n");
}

TEST(Dir, SizesInSectorsAndK) {
    FileSpec f;
    f.name = "F";
    f.words = 257;
    ImageBuilder b(400);
    b.file(f).empty(3);
    Listing l(b);
    EXPECT_EQ(l.run("DIR", {"-o", "0x80c"}).out, "\nACTUAL DATE: " + today() +
                                                     "   DISK INITIALIZATION OR LAST DRE: 01.Jan.70\n\n"
                                                     "F             (       2) [      1K]\n"
                                                     "[EMPTY]       (     254) [     43K]\n"
                                                     "FILE ENTRIES USED:     2 of  240\n");
}

TEST(Dir, DeletedAndMismatchingDirectorySectors) {
    FileSpec gone = prog();
    gone.magic = test::DELETED_MAGIC;
    FileSpec bad = xray();
    bad.sector_size_word = 1;
    ImageBuilder b(400);
    b.file(gone).file(bad);
    Listing l(b);
    auto r = l.run("DIR", {"-o", "0x3ff"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: XRAY.TXT\n");
    EXPECT_EQ(r.out, "PROG    .SAV  'AXP    5!  3 (       3) [      1K]\n"
                     " :     311 $T1  \n"
                     "XRAY    .TXT  'R      0!  0 (       2) [      1K]\n"
                     " :     315\n");
    auto s = l.run("SDI", {"-o", "n"});
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(s.err, r.err);
    // The first line ends before the sector is loaded: a warning starts a line of its own,
    // and a sector that cannot be reached ends the run after that line.
    auto both = test::run_program("/bin/sh",
                                  {"-c", "\"$0\" -d \"$1\" -o 5 2>&1", VELTOOL_BIN_DIR "/VELDIR", l.image});
    EXPECT_EQ(both.out, "PROG    .SAV  'AXP  (       3)\nXRAY    .TXT  'R    (       2)\n" + r.err);
    FileSpec nowhere = data();
    nowhere.entry_start = 0;
    auto z = Listing(ImageBuilder(400).file(nowhere)).run("DIR", {"-o", "F"});
    EXPECT_EQ(z.status, 1);
    EXPECT_EQ(z.out, heading("", "01.Jan.70") + "DATA          'A      0!  0 (       0) [      0K]\n");
    EXPECT_TRUE(z.err.ends_with("ERROR: cannot seek disk/file image:\nInvalid argument\n")) << z.err;
}

TEST(Dir, DamagedDirectoryWarnsBeforeAndAfterTheMerge) {
    auto image = sample().build();
    image.resize(image.size() + 768);
    TempDir dir;
    test::write_file(dir.file("disk.img"), image);
    auto r = run_vel("DIR", {"-d", dir.file("disk.img"), "-o", "n"});
    EXPECT_EQ(r.status, 0);
    std::string w = "WARNING: number of sectors from directory 620 different from disk image size 621\n"
                    "WARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n";
    EXPECT_EQ(r.err, w + w);
    EXPECT_EQ(r.out, "PROG    .SAV \nXRAY    .TXT \nDATA         \n");
}

TEST(Dir, StructuralDamageEndsTheRun) {
    auto image = sample().build();
    test::put24(image, 192 * 768 + 3, 0302);
    TempDir dir;
    test::write_file(dir.file("disk.img"), image);
    auto r = run_vel("DIR", {"-d", dir.file("disk.img")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        r.err,
        "ERROR: directory block 300: next block 302 should be 301\nCORRUPT DIRECTORY, DRE REQUIRED !\n");
}

TEST(Dir, OnlyFreeAreas) {
    Listing l(ImageBuilder(400).empty(10));
    EXPECT_EQ(l.run("DIR", {"-o", "F"}).out,
              heading("", "01.Jan.70") + "[EMPTY]                     (     257) [     43K]  :     311\n"
                                         "\n"
                                         "SPACE AVAILABLE:      43 KWORDS =     175 SECTORS\n"
                                         "LARGEST EMPTY:        43 KWORDS =     175 SECTORS\n"
                                         "FILE ENTRIES USED:     1 of  240\n");
    EXPECT_EQ(l.run("SDI", {"-o", "F"}).out, heading("", "01.Jan.70") +
                                                 "\n"
                                                 "SPACE AVAILABLE:      43 KWORDS =     175 SECTORS\n"
                                                 "LARGEST EMPTY:        43 KWORDS =     175 SECTORS\n"
                                                 "FILE ENTRIES USED:     1 of  240\n");
}

namespace {

FileSpec dated(const std::string& name, std::int64_t words, std::uint32_t date) {
    FileSpec f;
    f.name = name;
    f.words = words;
    f.date = date;
    return f;
}

} // namespace

TEST(Sdi, ByNameInGroupsOfTheFirstLetter) {
    ImageBuilder b(600);
    b.file(dated("BETA", 10, 0))
        .file(dated("ALPHA", 300, 0))
        .file(dated("BRAVO", 10, 0))
        .file(dated("CHARLIE", 10, 0));
    Listing l(b);
    EXPECT_EQ(l.run("SDI", {"-o", "n"}).out,
              "ALPHA        \n\nBETA         \nBRAVO        \n\nCHARLIE      \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-w"}).out, l.run("SDI", {"-o", "n"}).out);
    EXPECT_EQ(l.run("SDI", {"-o", "n", "B*"}).out, "BETA         \nBRAVO        \n");
}

TEST(Sdi, BySizeLargestFirstOrSmallestFirst) {
    ImageBuilder b(600);
    b.file(dated("SMALL", 10, 0))
        .file(dated("BIG", 1000, 0))
        .file(dated("ALSO", 200, 0))
        .file(dated("MID", 300, 0))
        .file(dated("ABIG", 1000, 0));
    Listing l(b);
    EXPECT_EQ(l.run("SDI", {"-o", "4", "-m"}).out, "ABIG          (       4)\n"
                                                   "BIG           (       4)\n"
                                                   "\n"
                                                   "MID           (       2)\n"
                                                   "\n"
                                                   "ALSO          (       1)\n"
                                                   "SMALL         (       1)\n");
    EXPECT_EQ(l.run("SDI", {"-o", "4", "-w", "-m"}).out, "SMALL         (       1)\n"
                                                         "ALSO          (       1)\n"
                                                         "\n"
                                                         "MID           (       2)\n"
                                                         "\n"
                                                         "ABIG          (       4)\n"
                                                         "BIG           (       4)\n");
    // The later of -m and -t decides.
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-t", "-m"}).out, l.run("SDI", {"-o", "n", "-m"}).out);
}

TEST(Sdi, ByDateWithBounds) {
    ImageBuilder b(600);
    b.file(dated("OLD", 10, bcd3(24, 12, 99)))
        .file(dated("NONE", 10, 0))
        .file(dated("NOW", 10, test::today_word()))
        .file(dated("ANEW", 10, test::today_word()))
        .file(dated("Y2K", 10, bcd3(1, 1, 0)))
        .file(dated("Y2KB", 10, bcd3(2, 1, 0)));
    Listing l(b);
    EXPECT_EQ(
        l.run("SDI", {"-o", "n", "-t"}).out,
        "ANEW         \nNOW          \n\nY2KB         \n\nY2K          \n\nOLD          \n\nNONE         \n");
    EXPECT_EQ(
        l.run("SDI", {"-o", "n", "-t", "-w"}).out,
        "NONE         \n\nOLD          \n\nY2K          \n\nY2KB         \n\nANEW         \nNOW          \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-tM"}).out, "ANEW         \nNOW          \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-td"}).out, "ANEW         \nNOW          \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-tD0/0/0"}).out, "NONE         \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-tA24/12/99"}).out, "OLD          \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-tm1/1/00"}).out, "Y2KB         \n\nY2K          \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-tJ1/1/99"}).out, "OLD          \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-ty5/5/70"}).out, "NONE         \n");
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-tX1/1/99"}).out, l.run("SDI", {"-o", "n", "-t"}).out);
    // A bound without the -t mode is not applied.
    EXPECT_EQ(l.run("SDI", {"-o", "n", "-tD0/0/0", "-m"}).out,
              "ANEW         \nNONE         \nNOW          \nOLD          \nY2K          \nY2KB         \n");
}

TEST(Sdi, ListsFilesWithTheirSectorFields) {
    Listing l(sample());
    auto r = l.run("SDI", {"-o", "f"});
    EXPECT_EQ(r.out, heading("SAMPLE DISK", "02.Jan.90") +
                         "DATA          'A      0!  0 (       0) [      0K]\n"
                         "       0-37777777777                        01.Jan.70 :     323 $T2  \n"
                         "\\\n"
                         "\n"
                         "PROG    .SAV  'AXP    5!  3 (       3) [      1K]\n"
                         "    1000-    2127;    1010 +    2000# 10 24.Dec.99 :     311 $T1  \n"
                         "\\first program\n"
                         "\n"
                         "XRAY    .TXT  'R      0!  0 (       2) [      1K]\n"
                         "       0-     400                        01.Mar.05 :     320\n"
                         "\\\n"
                         "\n"
                         "SPACE AVAILABLE:      41 KWORDS =     166 SECTORS\n"
                         "LARGEST EMPTY:        41 KWORDS =     164 SECTORS\n"
                         "FILE ENTRIES USED:     5 of  240\n");
}

TEST(Ddi, FindsDeletedFilesInsideFreeAreas) {
    FileSpec old = prog();
    FileSpec outside = xray(); // 2 data sectors, but only 1 left in the area
    FileSpec second = data();
    second.name = "SECOND";
    second.tag = "";
    FileSpec last = data();
    last.name = "LAST";
    ImageBuilder b(400);
    b.file(data()).empty(5).deleted(0, old).deleted(4, outside).deleted(5, second).file(last);
    Listing l(b);
    auto r = l.run("DDI", {"-o", "0x5d8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // DATA at 201; the free area starts at 202 (its directory sector is 201) with 5 sectors,
    // up to LAST at 208.
    EXPECT_EQ(r.out, "PROG    .SAV  [      1K]    1000-    2127;    1010 24.Dec.99 :     312 $T1  \n"
                     "SECOND        [      0K]       0-37777777777          01.Jan.70 :     317\n"
                     "\n"
                     "SPACE AVAILABLE:      43 K\n"
                     "LARGEST EMPTY:        41 K\n");
    EXPECT_EQ(l.run("DDI", {"-o", "n", "s*"}).out, "SECOND       \n");
    EXPECT_EQ(l.run("DDI", {"-o", "n", "-r", "T*"}).out, "PROG    .SAV \n");
    EXPECT_EQ(l.run("DDI", {"-o", "n", "-r", "T*", "-z"}).out, "PROG    .SAV \nSECOND       \n");
}

TEST(Ddi, HeadingFreeLinesAndCount) {
    FileSpec old = data();
    ImageBuilder b(400);
    b.empty(3).deleted(1, old);
    Listing l(b);
    EXPECT_EQ(l.run("DDI", {"-o", "0xc80"}).out, "\nACTUAL DATE: " + today() +
                                                     "   DISK INITIALIZATION OR LAST DRE: 01.Jan.70\n\n"
                                                     "[EMPTY]        :     311\n"
                                                     "DATA          :     312\n"
                                                     "\n"
                                                     "SPACE AVAILABLE:      43 K\n"
                                                     "LARGEST EMPTY:        43 K\n"
                                                     "FILE ENTRIES USED:     1 of  240\n");
}
