// ptr, ptw, dcr and dcw end to end: the partition table and the disk comment, printed and
// written, on whole, short and odd-sized images.
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

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
