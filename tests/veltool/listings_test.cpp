// dir, sdi and ddi end to end: exact listing lines, warnings and exit status.
#include <ctime>
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

FileSpec data() {
    FileSpec f = named("DATA", 0);
    return f.tag = "T2", f;
}
FileSpec dated(const std::string& name, std::uint32_t date) {
    FileSpec f = named(name, 10);
    return f.date = date, f;
}

std::string heading(const std::string& comment, const std::string& dre) {
    std::time_t now = std::time(nullptr);
    char today[16];
    std::strftime(today, sizeof today, "%d.%b.%y", std::localtime(&now));
    return comment + "\nACTUAL DATE: " + today + "   DISK INITIALIZATION OR LAST DRE: " + dre + "\n\n";
}

// Runs each listing on the image: {command, arguments, outcome}.
using Listing = std::tuple<std::string, std::vector<std::string>, std::string>;
void expect_listings(const Bytes& image, const std::vector<Listing>& listings) {
    Disk d(image);
    for (const auto& [command, arguments, expected] : listings)
        EXPECT_EQ(outcome(d.run(command, arguments)), expected) << command << " " << arguments.back();
}

const std::string NAMES = "PROG    .SAV \nXRAY    .TXT \nDATA         \n";
const std::string SUMMARY = "\nSPACE AVAILABLE:      41 K\nLARGEST EMPTY:        41 K\n";
const std::string PROG_LINES = "PROG    .SAV  'AXP    5!  3 (       3) [      1K]\n"
                               "    1000-    2127;    1010 +    2000# 10 24.Dec.99 :     311 $T1  \n"
                               "\\first program\n";
const std::string XRAY_LINES = "XRAY    .TXT  'R      0!  0 (       2) [      1K]\n"
                               "       0-     400                        01.Mar.05 :     320\n"
                               "\\\n";
const std::string DATA_LINES = "DATA          'A      0!  0 (       0) [      0K]\n"
                               "       0-37777777777                        01.Jan.70 :     323 $T2  \n"
                               "\\\n";
const std::string FULL_SUMMARY = "\nSPACE AVAILABLE:      41 KWORDS =     166 SECTORS\n"
                                 "LARGEST EMPTY:        41 KWORDS =     164 SECTORS\n"
                                 "FILE ENTRIES USED:     5 of  240\n";

} // namespace

TEST(Dir, MasksPatternsAndTags) {
    // PROG.SAV at 201 (3 sectors), EMPTY at 205 (2), XRAY.TXT at 208 (2), DATA at 211 (0),
    // EMPTY at 212 up to the disk end (164 sectors).
    const std::string sample = "0|" + heading("SAMPLE DISK", "02.Jan.90");
    const std::string empty_2 = "[EMPTY]                     (       2) [      0K]  :     315\n",
                      empty_244 = "[EMPTY]                     (     244) [     41K]  :     324\n";
    const std::string data_c = sample +
                               "DATA          [      0K]       0-37777777777          01.Jan.70\n\\\n" +
                               SUMMARY + "FILE ENTRIES USED:     5 of  240\n|";
    // clang-format off
    ImageBuilder b = ImageBuilder(400, 8, bcd3(2, 1, 90)).comment("SAMPLE DISK");
    expect_listings(b.file(listed_program()).empty(2).file(listed_text()).file(data()), {
        {"DIR", {"-o", "xyz"}, "0|PROG    .SAV  [      1K]    1000-    2127;    1010\n"
            "XRAY    .TXT  [      1K]       0-     400         \n"
            "DATA          [      0K]       0-37777777777         \n" + SUMMARY + "|"},
        {"DIR", {"-o", "f"},
            sample + PROG_LINES + empty_2 + XRAY_LINES + DATA_LINES + empty_244 + FULL_SUMMARY + "|"},
        {"DIR", {"-o", "n"}, "0|" + NAMES + "|"},
        {"DIR", {"-o", "024"}, "0|PROG    .SAV  (       3)\n    1000-    2127;    1010\n"
            "XRAY    .TXT  (       2)\n       0-     400         \n"
            "DATA          (       0)\n       0-37777777777         \n|"},
        {"DIR", {"-o", "0x22"}, "0|PROG    .SAV    5!  3\n +    2000# 10\n"
            "XRAY    .TXT    0!  0\n              \nDATA            0!  0\n              \n|"},
        {"DIR", {"-o", "n", "x*.txt"}, "0|XRAY    .TXT \n|"},
        {"DIR", {"-o", "n", "-r", "t*"}, "0|PROG    .SAV \nDATA         \n|"},
        {"DIR", {"-o", "n", "-r", "t*", "-z"}, "0|" + NAMES + "|"},
        {"SDI", {"-o", "n", "-r", "t*"}, "0|DATA         \n\nPROG    .SAV \n|"},
        {"SDI", {"-o", "n", "-r", "t*", "-z"}, "0|DATA         \n\nPROG    .SAV \n\nXRAY    .TXT \n|"},
        {"DIR", {"-o", "b", "D*"}, "0|DATA          [      0K]\n" + SUMMARY + "|"},
        {"SDI", {"-o", "b", "D*"}, "0|DATA          [      0K]\n" + SUMMARY + "|"},
        {"DIR", {"-o", "c", "D*"}, data_c}, {"SDI", {"-o", "c", "D*"}, data_c},
        // Name patterns hide the free areas, but the summary counts them; tags do not.
        {"DIR", {"-o", "f", "DATA"}, sample + DATA_LINES + FULL_SUMMARY + "|"},
        {"DIR", {"-o", "f", "-r", "T2"}, sample + empty_2 + DATA_LINES + empty_244 + FULL_SUMMARY + "|"},
        {"SDI", {"-o", "f"},
            sample + DATA_LINES + "\n" + PROG_LINES + "\n" + XRAY_LINES + FULL_SUMMARY + "|"},
    });
    // clang-format on
}

TEST(Dir, IllegalEntriesSizesFreeAreasAndUnusableSectors) {
    FileSpec bad = data(), gone = listed_program(), mismatch = listed_text(), nowhere = data();
    bad.attributes = REGULAR | NOT_FILE | I | C, gone.magic = DELETED_MAGIC, mismatch.sector_size_word = 1;
    const std::string free_summary =
        "\nSPACE AVAILABLE:      43 KWORDS =     175 SECTORS\n"
        "LARGEST EMPTY:        43 KWORDS =     175 SECTORS\nFILE ENTRIES USED:     1 of  240\n";
    const std::string warning = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: XRAY.TXT\n";
    // clang-format off
    expect_listings(ImageBuilder(400).file(bad), {
        {"DIR", {"-o", "0x1ff"},
        "0|DATA          'IC     0!  0 (       0) [      0K]  :     311 $T2     *** ILLEGAL ENTRY ***\n|"},
        {"DIR", {"-o", "n"}, "0|DATA            *** ILLEGAL ENTRY ***\n|"}});
    bad.tag = "";
    expect_listings(ImageBuilder(400).file(bad), {
        {"DIR", {"-o", "0x1ff"},
        "0|DATA          'IC     0!  0 (       0) [      0K]  :     311        *** ILLEGAL ENTRY ***\n|"}});
    expect_listings(ImageBuilder(400).empty(10), {
        {"DIR", {"-o", "F"}, "0|" + heading("", "01.Jan.70") +
            "[EMPTY]                     (     257) [     43K]  :     311\n" + free_summary + "|"},
        {"SDI", {"-o", "F"}, "0|" + heading("", "01.Jan.70") + free_summary + "|"}});
    expect_listings(ImageBuilder(400).file(gone).file(mismatch), {
        {"DIR", {"-o", "0x3ff"}, "0|PROG    .SAV  'AXP    5!  3 (       3) [      1K]\n :     311 $T1  \n"
            "XRAY    .TXT  'R      0!  0 (       2) [      1K]\n :     315\n|" + warning},
        {"SDI", {"-o", "n"}, "0||" + warning}});
    // clang-format on
    // The first line ends before the sector is loaded: a warning starts a line of its own,
    // and a sector that cannot be reached ends the run after that line.
    Disk d(ImageBuilder(400).file(gone).file(mismatch));
    auto both =
        run_program("/bin/sh", {"-c", "\"$0\" -d \"$1\" -o 5 2>&1", VELTOOL_BIN_DIR "/VELDIR", d.image});
    EXPECT_EQ(both.out, "PROG    .SAV  'AXP  (       3)\nXRAY    .TXT  'R    (       2)\n" + warning);
    nowhere.entry_start = 0;
    RunResult z = Disk(ImageBuilder(400).file(nowhere)).run("DIR", {"-o", "F"});
    EXPECT_EQ(z.out, heading("", "01.Jan.70") + "DATA          'A      0!  0 (       0) [      0K]\n");
    EXPECT_TRUE(z.err.ends_with("ERROR: cannot seek disk/file image:\nInvalid argument\n")) << z.err;
}

TEST(Sdi, ByNameSizeAndDate) {
    // clang-format off
    expect_listings(image("600 BETA:10 ALPHA:300 BRAVO:10 CHARLIE:10"), {
        {"SDI", {"-o", "n"}, "0|ALPHA        \n\nBETA         \nBRAVO        \n\nCHARLIE      \n|"},
        {"SDI", {"-o", "n", "B*"}, "0|BETA         \nBRAVO        \n|"}});
    expect_listings(image("600 SMALL:10 BIG:1000 ALSO:200 MID:300 ABIG:1000"), {
        {"SDI", {"-o", "4", "-m"}, "0|ABIG          (       4)\nBIG           (       4)\n\n"
            "MID           (       2)\n\nALSO          (       1)\nSMALL         (       1)\n|"},
        {"SDI", {"-o", "4", "-w", "-m"}, "0|SMALL         (       1)\nALSO          (       1)\n\n"
            "MID           (       2)\n\nABIG          (       4)\nBIG           (       4)\n|"},
    });
    const std::string now = "ANEW         \nNOW          \n", none = "0|NONE         \n|",
                      by_date = "\nY2KB         \n\nY2K          \n\nOLD          \n\nNONE         \n|";
    expect_listings(ImageBuilder(600).file(dated("OLD", bcd3(24, 12, 99))).file(dated("NONE", 0))
            .file(dated("NOW", today_word())).file(dated("ANEW", today_word()))
            .file(dated("Y2K", bcd3(1, 1, 0))).file(dated("Y2KB", bcd3(2, 1, 0))), {
        {"SDI", {"-o", "n", "-t"}, "0|" + now + by_date},
        {"SDI", {"-o", "n", "-t", "-w"},
            "0|NONE         \n\nOLD          \n\nY2K          \n\nY2KB         \n\n" + now + "|"},
        {"SDI", {"-o", "n", "-tM"}, "0|" + now + "|"},
        {"SDI", {"-o", "n", "-tD0/0/0"}, none},
        {"SDI", {"-o", "n", "-tA24/12/99"}, "0|OLD          \n|"},
        {"SDI", {"-o", "n", "-tD2/1/00"}, "0|Y2KB         \n|"},
        {"SDI", {"-o", "n", "-tm1/1/00"}, "0|Y2KB         \n\nY2K          \n|"},
        {"SDI", {"-o", "n", "-tX1/1/99"}, "0|" + now + by_date},
        // Years up to 69 are 20xx; a day or month out of its range selects files without a date.
        {"SDI", {"-o", "n", "-tY1/1/70"}, none}, {"SDI", {"-o", "n", "-tD31/12/99"}, "0||"},
        {"SDI", {"-o", "n", "-tD0/1/00"}, none}, {"SDI", {"-o", "n", "-tD32/1/00"}, none},
        {"SDI", {"-o", "n", "-tD1/0/00"}, none}, {"SDI", {"-o", "n", "-tD1/13/00"}, none},
        // A bound without the -t mode is not applied.
        {"SDI", {"-o", "n", "-tD0/0/0", "-m"},
            "0|ANEW         \nNONE         \nNOW          \nOLD          \nY2K          \nY2KB         \n|"},
    });
    // clang-format on
}

TEST(Ddi, DeletedFilesInsideFreeAreas) {
    FileSpec second = data(), last = data();
    const std::string summary = "\nSPACE AVAILABLE:      43 K\nLARGEST EMPTY:        43 K\n",
                      used = "FILE ENTRIES USED:     1 of  240\n";
    second.name = "SECOND", second.tag = "", last.name = "LAST";
    // DATA at 201; the free area starts at 202 (its directory sector is 201) with 5 sectors,
    // up to LAST at 208. XRAY's 2 data sectors do not fit the 1 left in the area.
    ImageBuilder b =
        ImageBuilder(400).file(data()).empty(5).deleted(0, listed_program()).deleted(4, listed_text());
    // clang-format off
    expect_listings(b.deleted(5, second).file(last), {
        {"DDI", {"-o", "0x5d8"},
            "0|PROG    .SAV  [      1K]    1000-    2127;    1010 24.Dec.99 :     312 $T1  \n"
            "SECOND        [      0K]       0-37777777777          01.Jan.70 :     317\n"
            "\nSPACE AVAILABLE:      43 K\nLARGEST EMPTY:        41 K\n|"},
        {"DDI", {"-o", "n", "-r", "T*"}, "0|PROG    .SAV \n|"},
        {"DDI", {"-o", "n", "-r", "T*", "-z"}, "0|PROG    .SAV \nSECOND       \n|"}});
    expect_listings(ImageBuilder(400).empty(3).deleted(1, data()), {
        {"DDI", {"-o", "0xc80"}, "0|" + heading("", "01.Jan.70") + "[EMPTY]        :     311\n"
            "DATA          :     312\n" + summary + used + "|"},
        {"DDI", {"-o", "b"}, "0|DATA          [      0K]\n" + summary + "|"},
        {"DDI", {"-o", "c"}, "0|" + heading("", "01.Jan.70") + "[EMPTY]       [     43K]\n"
            "DATA          [      0K]       0-37777777777          01.Jan.70\n\\\n" + summary + used + "|"},
        {"DDI", {"-o", "f"}, "0|" + heading("", "01.Jan.70") + "[EMPTY]                     (     257) [     43K]  :"
            "     311\nDATA          'A      0!  0 (       0) [      0K]\n       0-37777777777                        "
            "01.Jan.70 :     312 $T2  \n\\\n\nSPACE AVAILABLE:      43 KWORDS =     175 SECTORS\n"
            "LARGEST EMPTY:        43 KWORDS =     175 SECTORS\n" + used + "|"}});
    // clang-format on
}
