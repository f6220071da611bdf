// new, old, scr, scw, ptr, ptw, dcr and dcw end to end. new and old: sizes and their checks, the
// fresh image byte for byte, the system area moved out and in, and a disk of the largest size on
// a sparse file. scr and scw: FIRST and COUNT in every notation, the limits, the force rule and
// the bytes moved. The partition table and the disk comment, printed and written, on whole,
// short and odd-sized images.
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

const std::string ILLEGAL = "ERROR: ILLEGAL SECTOR LIMITS\n";
const std::vector<std::uint8_t> TEN = pattern(10 * SECTOR, 1); // an image of 10 sectors

constexpr std::size_t TABLE = 188 * SECTOR, COMMENT = 191 * SECTOR;

std::string table_lines(int sectors) {
    std::string text = "DISK   UNIT   START SECTOR   END SECTOR   SIZE IN SECTORS\n"
                       "=========================================================\n";
    char line[100];
    for (int i = 0; i < 7; ++i) {
        std::snprintf(line, sizeof line, "=D%d      %d            0       %7d         %7d\n", i + 1, i,
                      sectors - 1, sectors);
        text += line;
    }
    return text + "=D8     10            0           659             660\n";
}

// An image of zeros with these words and bytes at these byte offsets.
Bytes zeros(std::size_t size, std::vector<std::pair<std::size_t, std::int64_t>> words = {},
            std::vector<std::pair<std::size_t, std::uint8_t>> bytes = {}) {
    Bytes image(size, 0);
    for (auto [offset, value] : words)
        put24(image, offset, value);
    for (auto [offset, value] : bytes)
        image[offset] = value;
    return image;
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

TEST(Scr, LimitsInEveryNotation) {
    struct Case {
        std::vector<std::string> arguments;
        std::int64_t first, count; // count 0: refused with err
        std::string err;
    } cases[] = {
        // clang-format off
        {{"0"}, 0, 1, ""}, {{"--", "-1"}, 9, 1, ""}, {{"--", "-10", "2"}, 0, 2, ""}, {{"7", "3"}, 7, 3, ""},
        {{"010"}, 8, 1, ""}, {{"0x2", "2", "ignored"}, 2, 2, ""}, {{"x", "y"}, 0, 1, ""},
        {{"--", "-11"}, 0, 0, ILLEGAL}, {{"8", "3"}, 0, 0, ILLEGAL}, {{"10"}, 0, 0, ILLEGAL},
        {{"3", "0"}, 0, 0, ILLEGAL}, {{"3", "-1"}, 0, 0, ILLEGAL},
        {{"0", "99999999999999999999"}, 0, 0, ILLEGAL},
        {{"-1"}, 0, 0, "ERROR: illegal option \"-1\"\n"}, {{}, 0, 0, "ERROR: SECTOR LIMITS NOT SPECIFIED\n"},
        // clang-format on
    };
    for (const Case& c : cases) {
        Disk d(TEN);
        std::string out = d.dir.file("out.img");
        std::vector<std::string> arguments{"-f", out};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(outcome(d.run("SCR", arguments)), (c.count == 0 ? "1||" : "0||") + c.err)
            << c.arguments.size();
        if (c.count > 0) {
            EXPECT_EQ(read_file(out), sectors_of(TEN, c.first, c.count)) << c.first;
        }
    }
    EXPECT_EQ(Disk(TEN).run("SCR", {"0"}).err, "ERROR: sector image filename not specified\n");
}

TEST(Scw, WritesOnlyWithForceAndWithinBothFiles) {
    Disk d(TEN);
    std::string in = d.dir.file("in.img");
    write_file(in, pattern(3 * SECTOR + 5, 2));
    const std::string partial = "WARNING: sector image size is not a multiple of KAVOLT sector size\n";
    EXPECT_EQ(d.run("SCW", {"-f", in, "5", "4"}).err, partial + ILLEGAL);
    EXPECT_EQ(d.run("SCW", {"-o", "F", "-f", in, "8", "3"}).err, ILLEGAL);
    EXPECT_EQ(d.run("SCW", {"-f", in, "5", "3"}).err,
              partial + "ERROR: DIRECT WRITING VELTRA DISK SECTORS DANGEROUS !\n");
    EXPECT_EQ(d.bytes(), TEN);

    EXPECT_EQ(outcome(d.run("SCW", {"-o", "f", "-f", in, "--", "-3", "2"})), "0||" + partial);
    auto expected = TEN;
    std::copy_n(pattern(2 * SECTOR, 2).begin(), 2 * SECTOR, expected.begin() + 7 * SECTOR);
    EXPECT_EQ(d.bytes(), expected);

    std::string missing = d.dir.file("missing.img");
    EXPECT_EQ(d.run("SCW", {"-o", "F", "-f", missing, "0"}).err,
              "ERROR: cannot open sector image file " + missing + ":\nNo such file or directory\n");
}

TEST(PartitionTableAndComment, CommandsOnImages) {
    const std::string odd = "disk image size is not a multiple of KAVOLT sector size\n";
    const std::string eighty =
        "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzab";
    std::string zero_lines;
    for (int i = 3; i <= 8; ++i)
        zero_lines += "=D" + std::to_string(i) + "      0            0            -1               0\n";
    Bytes second_mark = ImageBuilder(400).default_partition_table();
    put24(second_mark, TABLE + 3, 1);
    struct Case {
        Bytes image;
        std::vector<std::vector<std::string>> runs; // the last one's outcome counts
        std::string outcome;
    } cases[] = {
        {zeros(1000 * SECTOR), {{"PTW"}, {"PTR"}}, "0|" + table_lines(1000) + "|"},
        {second_mark, {{"PTR"}}, "0|" + table_lines(400) + "|WARNING: INVALID PARTITION TABLE\n"},
        {zeros(400 * SECTOR), {{"PTR"}}, "1||ERROR: INVALID PARTITION TABLE\n"},
        // Starts and sizes are signed.
        // clang-format off
        {zeros(200 * SECTOR, {{TABLE, 07250023}, {TABLE + 12, 077}, {TABLE + 15, -5}, {TABLE + 18, 8388607},
                              {TABLE + 24, 0xFFFFFF}, {TABLE + 30, -8388608}}), {{"PTR"}},
         "0|" + table_lines(0).substr(0, 116) + "=D1     77           -5       8388601         8388607\n" +
             "=D2     77777777            0       -8388609         -8388608\n" + zero_lines + "|"},
        {zeros(TABLE + 107, {{TABLE, 07250023}}), {{"PTR"}}, "1||ERROR: cannot read disk sector\n"},
        {zeros(300 * SECTOR + 100), {{"PTW"}}, "1||ERROR: " + odd},
        {zeros(300 * SECTOR + 100), {{"PTW", "-o", "yf"}}, "0||WARNING: " + odd},
        {zeros(300 * SECTOR + 100), {{"PTW", "-o", "yf"}, {"PTR"}}, "0|" + table_lines(300) + "|"},
        {zeros(300 * SECTOR), {{"DCW", "-c", "Spectra of 1987"}, {"DCR"}}, "0|Spectra of 1987\n|"},
        {zeros(300 * SECTOR), {{"DCW", "-c", eighty}, {"DCR"}}, "0|" + eighty.substr(0, 74) + "\n|"},
        {zeros(300 * SECTOR), {{"DCW", "-c", "old"}, {"DCW"}, {"DCR"}}, "0|\n|"},
        {zeros(300 * SECTOR, {}, {{COMMENT, 0xC1}, {COMMENT + 1, 0x42}, {COMMENT + 2, 0xC3}, {COMMENT + 4, 0xC4}}),
         {{"DCR"}}, "0|ABC\n|"},
        {zeros(COMMENT + 74), {{"DCR"}}, "1||ERROR: cannot read disk comment\n"},
        // clang-format on
    };
    for (const Case& c : cases) {
        Disk d(c.image);
        RunResult r;
        for (const auto& run : c.runs)
            r = d.run(run[0], std::vector<std::string>(run.begin() + 1, run.end()));
        EXPECT_EQ(outcome(r), c.outcome) << c.runs[0][0];
    }
}
