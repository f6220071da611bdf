// lis, sum and oct end to end: the exact text they print and what they report.
#include <algorithm>
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

// KAVOLT text: every character with bit 7 set.
Bytes kavolt_text(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    return std::transform(bytes.begin(), bytes.end(), bytes.begin(), [](auto c) { return c | 0x80; }), bytes;
}

FileSpec text_file(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return named(name + ".TXT", static_cast<std::int64_t>(bytes.size() + 2) / 3, bytes);
}

FileSpec words_file(const std::string& name, const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t w : words)
        bytes.insert(bytes.end(), {std::uint8_t(w >> 16), std::uint8_t(w >> 8), std::uint8_t(w)});
    return named(name, static_cast<std::int64_t>(words.size()), bytes);
}

std::string heading(const std::string& name) {
    return "\nFILE: " + name + "\n-------------------\n\n";
}

} // namespace

TEST(Lis, TextEndsAtEndOfTransmissionLinesAtCarriageReturns) {
    auto text = kavolt_text("ab\rcd");
    text.push_back('\r'); // without bit 7
    for (std::uint8_t b : kavolt_text("ef\r\x04zz"))
        text.push_back(b);
    std::string lines, first_20;
    for (int i = 10; i < 40; ++i) {
        std::string line = "line " + std::to_string(i) + std::string(32, '.');
        lines += line + "\r";
        if (i < 30) first_20 += line + "\n";
    }
    ImageBuilder b = ImageBuilder(400).file(text_file("T", text)).file(text_file("L", kavolt_text(lines)));
    Disk d(b.file(named("E", 0)));
    EXPECT_EQ(outcome(d.run("LIS", {"t.txt", "E"})),
              "0|" + heading("T.TXT") + "ab\ncd\nef\n\n\n" + heading("E") + "\n\n|");
    EXPECT_EQ(d.run("LIS", {"-o", "u", "T.TXT"}).out, heading("T.TXT") + "AB\nCD\nEF\n\n\n");
    EXPECT_EQ(d.run("LIS", {"-h2", "T.TXT"}).out, heading("T.TXT") + "ab\ncd\n\n\n");
    // -h alone is 20 lines, and the 20th crosses a sector; a shorter file is printed whole.
    EXPECT_EQ(d.run("LIS", {"-h", "*.TXT"}).out,
              heading("T.TXT") + "ab\ncd\nef\n\n\n" + heading("L.TXT") + first_20 + "\n\n");
    EXPECT_EQ(d.run("LIS", {"-h5", "L.TXT"}).out, heading("L.TXT") + first_20.substr(0, 5 * 40) + "\n\n");
    EXPECT_EQ(d.run("LIS", {"Q"}).out, "FILE NOT FOUND: Q\n");
    EXPECT_EQ(d.run("LIS", {"-o", "r", "Q"}).out, "");
}

TEST(Sum, FullNameOrderAndEndAroundCarry) {
    ImageBuilder b(400);
    b.file(words_file("ZED", {077777777})).file(words_file("ALPHA.X", {077777777, 1})).file(named("MID", 0));
    // FULL: more bytes of 377 than a 16-bit partial sum holds.
    b.file(words_file("FULL", std::vector<std::uint32_t>(5000, 077777777)));
    Disk d(b.file(words_file("ONES", std::vector<std::uint32_t>(300, 1))));
    std::string sums = "ALPHA   .X      SIZE =        2   CSUM =        1\n"
                       "FULL            SIZE =    11610   CSUM = 77777777\n"
                       "MID             SIZE =        0   CSUM =        0\n"
                       "ONES            SIZE =      454   CSUM =      454\n"
                       "ZED             SIZE =        1   CSUM = 77777777\n";
    EXPECT_EQ(outcome(d.run("SUM", {"*"})), "0|" + sums + "|");
    EXPECT_EQ(d.run("SUM", {"-w", "*"}).out, sums);
    EXPECT_EQ(d.run("SUM", {"Q"}).out, "FILE NOT FOUND: Q\n");
    EXPECT_EQ(d.run("SUM", {"-o", "r", "Q"}).out, "");
    // -r and -z of every file listing, -o R of oct.
    const std::string tagged = "400 A$T:0 B:0", size = "               SIZE =        0",
                      sum = size + "   CSUM =        0\n|";
    // clang-format off
    check_rows({
        {tagged, "SUM", {"-r", "T", "*"}, "0|A" + sum, "="}, {tagged, "SUM", {"-r", "X", "-z", "*"}, "0|B" + sum, "="},
        {tagged, "LIS", {"-r", "T", "*"}, "0|" + heading("A") + "\n\n|", "="},
        {tagged, "LIS", {"-r", "X", "-z", "*"}, "0|" + heading("B") + "\n\n|", "="},
        {tagged, "OCT", {"-r", "T", "*"}, "0|A" + size + "\n|", "="},
        {tagged, "OCT", {"-r", "X", "-z", "*"}, "0|B" + size + "\n|", "="},
        {tagged, "OCT", {"-o", "r", "Q"}, "0||", "="},
        {"400 B:10:d K:0", "SUM", {"*"}, "0|K" + sum + "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: B\n", "="},
    });
    // clang-format on
}

TEST(Oct, FormsOfTheDump) {
    // Words 1, 77777777, "ABC", blank "D" end-of-transmission, "EFG".
    Disk d(ImageBuilder(400).file(words_file("W", {1, 077777777, 0xC1C2C3, 0xA0C484, 0xC5C6C7})));
    std::string first = "W               SIZE =        5";
    EXPECT_EQ(outcome(d.run("OCT", {"w"})),
              "0|" + first + "\n       0:        1 77777777 60341303 50142204\n       4: 61343307\n|");
    EXPECT_EQ(d.run("OCT", {"-o", "mbce", "W"}).out, first +
                                                         "\n       0:        1     A  <000><000><001>"
                                                         "\n       1: 77777777  ????  <377><377><377>"
                                                         "\n       2: 60341303  0\\KC    A    B    C  "
                                                         "\n       3: 50142204  (LRD         D  <204>"
                                                         "\n       4: 61343307  1\\[G    E    F    G  \n");
    EXPECT_EQ(d.run("OCT", {"-o", "cb", "W"}).out,
              first + "\n       0: <000><000><001><377><377><377><301><302><303><240><304><204>"
                      "\n       4: <305><306><307>\n");
    std::string chars = first + "\n       0: <000><000><001><377><377><377>  A    B    C         D  <204>";
    EXPECT_EQ(d.run("OCT", {"-o", "c", "W"}).out, chars + "\n");
    EXPECT_EQ(d.run("OCT", {"-o", "ce", "W"}).out, chars + "\n       4:   E    F    G  \n");
    EXPECT_EQ(d.run("OCT", {"-o", "h", "W"}).out.substr(0, 59), first + "\nW            : FILE HEADER\n");
}
