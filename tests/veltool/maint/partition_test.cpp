#include <gtest/gtest.h>

#include "tests/support/image_builder.h"
#include "tests/support/run.h"

using test::put24;
using test::read_file;
using test::run_vel;
using test::TempDir;
using test::write_file;

namespace {

constexpr std::size_t TABLE = 144384;
constexpr std::size_t COMMENT = 146688;

std::string make_image(const TempDir& dir, std::size_t bytes, const char* name = "disk.img") {
    std::string path = dir.file(name);
    write_file(path, std::vector<std::uint8_t>(bytes, 0));
    return path;
}

std::string table_lines(int sectors) {
    std::string text = "DISK   UNIT   START SECTOR   END SECTOR   SIZE IN SECTORS\n"
                       "=========================================================\n";
    char line[100];
    for (int i = 0; i < 7; ++i) {
        std::snprintf(line, sizeof line, "=D%d      %d            0       %7d         %7d\n", i + 1, i,
                      sectors - 1, sectors);
        text += line;
    }
    text += "=D8     10            0           659             660\n";
    return text;
}

} // namespace

TEST(PartitionTable, WriteThenPrintTheDefault) {
    TempDir dir;
    std::string image = make_image(dir, 1000 * 768);
    auto w = run_vel("PTW", {"-d", image});
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.out + w.err, "");
    auto r = run_vel("PTR", {"-d", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, table_lines(1000));

    // The record itself: marks, units, sizes, and zero in every reserved word.
    auto bytes = read_file(image);
    ASSERT_EQ(bytes.size(), 1000u * 768);
    std::vector<std::uint8_t> expected(108, 0);
    put24(expected, 0, 07250023);
    for (int i = 0; i < 8; ++i) {
        put24(expected, 12 + 12 * i, i == 7 ? 8 : i);
        put24(expected, 18 + 12 * i, i == 7 ? 660 : 1000);
    }
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + TABLE, bytes.begin() + TABLE + 108), expected);
    EXPECT_EQ(bytes[TABLE + 108], 0);
}

TEST(PartitionTable, PrintsSignedStartsAndSizes) {
    TempDir dir;
    auto bytes = std::vector<std::uint8_t>(200 * 768, 0);
    put24(bytes, TABLE, 07250023);
    put24(bytes, TABLE + 12, 077);      // unit shown in octal
    put24(bytes, TABLE + 15, -5);       // start
    put24(bytes, TABLE + 18, 8388607);  // size
    put24(bytes, TABLE + 24, 0xFFFFFF); // unsigned unit
    put24(bytes, TABLE + 30, -8388608); // size
    std::string image = dir.file("disk.img");
    write_file(image, bytes);
    auto r = run_vel("PTR", {"-d", image});
    EXPECT_EQ(r.status, 0);
    std::string lines = r.out.substr(r.out.find("=D1"));
    EXPECT_EQ(lines.substr(0, lines.find("=D3")),
              "=D1     77           -5       8388601         8388607\n"
              "=D2     77777777            0       -8388609         -8388608\n");
}

TEST(PartitionTable, SecondMarkIsOnlyAWarning) {
    TempDir dir;
    std::string image = make_image(dir, 400 * 768);
    ASSERT_EQ(run_vel("PTW", {"-d", image}).status, 0);
    auto bytes = read_file(image);
    put24(bytes, TABLE + 3, 1);
    write_file(image, bytes);
    auto r = run_vel("PTR", {"-d", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "WARNING: INVALID PARTITION TABLE\n");
    EXPECT_EQ(r.out, table_lines(400));
}

TEST(PartitionTable, WrongMarkIsFatal) {
    TempDir dir;
    std::string image = make_image(dir, 400 * 768);
    auto r = run_vel("PTR", {"-d", image});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: INVALID PARTITION TABLE\n");
}

TEST(PartitionTable, ShortImage) {
    TempDir dir;
    std::string image = make_image(dir, TABLE + 107);
    auto r = run_vel("PTR", {"-d", image});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot read disk sector\n");
}

TEST(PartitionTable, ImageSizeNotAWholeNumberOfSectors) {
    TempDir dir;
    std::string image = make_image(dir, 300 * 768 + 100);
    auto before = read_file(image);
    auto r = run_vel("PTW", {"-d", image});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: disk image size is not a multiple of KAVOLT sector size\n");
    EXPECT_EQ(read_file(image), before);

    r = run_vel("PTW", {"-d", image, "-o", "yf"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "WARNING: disk image size is not a multiple of KAVOLT sector size\n");
    EXPECT_EQ(run_vel("PTR", {"-d", image}).out, table_lines(300));
}

TEST(PartitionTable, WritingExtendsAShortImage) {
    TempDir dir;
    std::string image = make_image(dir, 768 * 10);
    EXPECT_EQ(run_vel("PTW", {"-d", image}).status, 0);
    EXPECT_EQ(read_file(image).size(), TABLE + 108);
}

TEST(DiskComment, WriteAndRead) {
    TempDir dir;
    std::string image = make_image(dir, 300 * 768);
    auto w = run_vel("DCW", {"-d", image, "-c", "Spectra of 1987"});
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.out + w.err, "");
    auto r = run_vel("DCR", {"-d", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Spectra of 1987\n");

    auto bytes = read_file(image);
    EXPECT_EQ(bytes[COMMENT], 'S' | 0x80);
    EXPECT_EQ(bytes[COMMENT + 14], '7' | 0x80);
    EXPECT_EQ(bytes[COMMENT + 15], 0);
}

TEST(DiskComment, LongCommentKeeps74Characters) {
    TempDir dir;
    std::string image = make_image(dir, 300 * 768);
    auto bytes = read_file(image);
    for (std::size_t i = COMMENT + 75; i < COMMENT + 768; ++i)
        bytes[i] = 0x55;
    write_file(image, bytes);

    std::string eighty;
    for (int i = 0; i < 80; ++i)
        eighty += static_cast<char>('a' + i % 26);
    ASSERT_EQ(run_vel("DCW", {"-d", image, "-c", eighty}).status, 0);
    EXPECT_EQ(run_vel("DCR", {"-d", image}).out, eighty.substr(0, 74) + "\n");

    // Only the 75 bytes of the comment are written.
    bytes = read_file(image);
    EXPECT_EQ(bytes[COMMENT + 74], 0);
    EXPECT_EQ(bytes[COMMENT + 75], 0x55);
    EXPECT_EQ(bytes[COMMENT + 767], 0x55);
}

TEST(DiskComment, EmptyComment) {
    TempDir dir;
    std::string image = make_image(dir, 300 * 768);
    ASSERT_EQ(run_vel("DCW", {"-d", image, "-c", "old"}).status, 0);
    ASSERT_EQ(run_vel("DCW", {"-d", image}).status, 0);
    EXPECT_EQ(run_vel("DCR", {"-d", image}).out, "\n");
    auto bytes = read_file(image);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + COMMENT, bytes.begin() + COMMENT + 75),
              std::vector<std::uint8_t>(75, 0));
}

TEST(DiskComment, ReadStopsAtTheFirstZeroAndClearsBit7) {
    TempDir dir;
    std::string image = make_image(dir, 300 * 768);
    auto bytes = read_file(image);
    const std::uint8_t raw[] = {0xC1, 0x42, 0xC3, 0x80, 0xC4};
    std::copy(std::begin(raw), std::end(raw), bytes.begin() + COMMENT);
    write_file(image, bytes);
    EXPECT_EQ(run_vel("DCR", {"-d", image}).out, "ABC\n");
}

TEST(DiskComment, ShortImage) {
    TempDir dir;
    std::string image = make_image(dir, COMMENT + 74);
    auto r = run_vel("DCR", {"-d", image});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot read disk comment\n");
}
