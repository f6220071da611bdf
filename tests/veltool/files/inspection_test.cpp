// lis, sum and oct end to end: the exact text they print and what they report.
#include <gtest/gtest.h>

#include "tests/veltool/files/disk.h"

using test::Disk;
using test::FileSpec;
using test::ImageBuilder;
using test::named;

namespace {

// KAVOLT text: every character with bit 7 set.
std::vector<std::uint8_t> kavolt_text(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (char c : text)
        bytes.push_back(static_cast<std::uint8_t>(c | 0x80));
    return bytes;
}

FileSpec text_file(const std::string& name, std::vector<std::uint8_t> bytes) {
    FileSpec f = named(name, static_cast<std::int64_t>(bytes.size() + 2) / 3, bytes);
    f.ext = "TXT";
    return f;
}

FileSpec words_file(const std::string& name, const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t w : words)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(w >> 16), static_cast<std::uint8_t>(w >> 8),
                                   static_cast<std::uint8_t>(w)});
    return named(name, static_cast<std::int64_t>(words.size()), bytes);
}

std::string heading(const std::string& name) {
    return "\nFILE: " + name + "\n-------------------\n\n";
}

} // namespace

TEST(Lis, TextEndsAtEndOfTransmissionAndLinesAtCarriageReturns) {
    auto short_text = kavolt_text("ab\rcd");
    short_text.push_back('\r'); // without bit 7
    for (std::uint8_t b : kavolt_text("ef\r"))
        short_text.push_back(b);
    short_text.push_back(0204);
    for (std::uint8_t b : kavolt_text("zz"))
        short_text.push_back(b);
    std::string long_text, expected_20;
    for (int i = 0; i < 30; ++i) {
        std::string line = "line " + std::to_string(10 + i) + std::string(32, '.');
        long_text += line + "\r";
        if (i < 20) expected_20 += line + "\n";
    }
    Disk d(ImageBuilder(400)
               .file(text_file("T", short_text))
               .file(text_file("L", kavolt_text(long_text)))
               .file(named("E", 0)));
    auto r = d.run("LIS", {"t.txt", "E"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, heading("T.TXT") + "ab\ncd\nef\n\n\n" + heading("E") + "\n\n");
    EXPECT_EQ(d.run("LIS", {"-o", "u", "T.TXT"}).out, heading("T.TXT") + "AB\nCD\nEF\n\n\n");
    EXPECT_EQ(d.run("LIS", {"-h2", "T.TXT"}).out, heading("T.TXT") + "ab\ncd\n\n\n");
    // -h alone is 20 lines; a file with fewer is printed whole. The 20th line crosses a sector.
    EXPECT_EQ(d.run("LIS", {"-h", "*.TXT"}).out,
              heading("T.TXT") + "ab\ncd\nef\n\n\n" + heading("L.TXT") + expected_20 + "\n\n");
    EXPECT_EQ(d.run("LIS", {"-h5", "L.TXT"}).out.size(), heading("L.TXT").size() + 5 * 40 + 2);
}

TEST(Sum, FullNameOrderAndEndAroundCarry) {
    Disk d(ImageBuilder(400)
               .file(words_file("ZED", {077777777}))
               .file([] {
                   FileSpec f = words_file("ALPHA", {077777777, 1});
                   f.ext = "X";
                   return f;
               }())
               .file(named("MID", 0))
               .file(words_file("ONES", std::vector<std::uint32_t>(300, 1))));
    std::string expected = "ALPHA   .X      SIZE =        2   CSUM =        1\n"
                           "MID             SIZE =        0   CSUM =        0\n"
                           "ONES            SIZE =      454   CSUM =      454\n"
                           "ZED             SIZE =        1   CSUM = 77777777\n";
    auto r = d.run("SUM", {"*"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(d.run("SUM", {"-w", "*"}).out, expected);
    EXPECT_EQ(d.run("SUM", {"Q"}).out, "FILE NOT FOUND: Q\n");
    EXPECT_EQ(d.run("SUM", {"-o", "r", "Q"}).out, "");
}

namespace {

// Words 1, 77777777, "ABC", blank "D" end-of-transmission, "EFG".
ImageBuilder five_words() {
    return ImageBuilder(400).file(words_file("W", {1, 077777777, 0xC1C2C3, 0xA0C484, 0xC5C6C7}));
}

const std::string W_LINE = "W               SIZE =        5";

} // namespace

TEST(Oct, FormsOfTheDump) {
    Disk d(five_words());
    auto r = d.run("OCT", {"w"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, W_LINE + "\n       0:        1 77777777 60341303 50142204\n       4: 61343307\n");
    std::string mixed = "\n       0:        1     A  <000><000><001>"
                        "\n       1: 77777777  ????  <377><377><377>"
                        "\n       2: 60341303  0\\KC    A    B    C  "
                        "\n       3: 50142204  (LRD         D  <204>"
                        "\n       4: 61343307  1\\[G    E    F    G  \n";
    EXPECT_EQ(d.run("OCT", {"-o", "mbce", "W"}).out, W_LINE + mixed);
    std::string bytes = "\n       0: <000><000><001><377><377><377><301><302><303><240><304><204>"
                        "\n       4: <305><306><307>\n";
    EXPECT_EQ(d.run("OCT", {"-o", "cb", "W"}).out, W_LINE + bytes);
    std::string chars = "\n       0: <000><000><001><377><377><377>  A    B    C         D  <204>";
    EXPECT_EQ(d.run("OCT", {"-o", "c", "W"}).out, W_LINE + chars + "\n");
    EXPECT_EQ(d.run("OCT", {"-o", "ce", "W"}).out, W_LINE + chars + "\n       4:   E    F    G  \n");
}

TEST(Oct, HeaderRegionAndIndexAcrossSectors) {
    FileSpec small = words_file("H1", {7});
    FileSpec large = words_file("H2", std::vector<std::uint32_t>(300, 1));
    large.user_info_address = 0100;
    large.user_info_size = 216;
    Disk d(ImageBuilder(400).file(small).file(large).file(named("Z", 0)));
    std::string out = d.run("OCT", {"-o", "h", "H1"}).out;
    std::string head = "H1              SIZE =        1\nH1           : FILE HEADER"
                       "\n       0: 21702365 10610000        0        0";
    std::string tail =
        "\n      44:        0        0        0        0\nH1           : FILE DATA\n       0:        7\n";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_TRUE(out.ends_with(tail)) << out;
    // The size line, the two markers, 10 header lines of 4 words, 1 data line and the end.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 14);

    out = d.run("OCT", {"-o", "H", "H2"}).out;
    auto data = out.find("H2           : FILE DATA");
    ASSERT_NE(data, std::string::npos);
    EXPECT_NE(out.rfind("\n     374: ", data), std::string::npos);
    EXPECT_GT(out.find("\n     400: "), data); // 256 words of the header, no more
    std::string ones = "        1        1        1        1";
    EXPECT_NE(out.find("\n     400:" + ones + "\n     404:", data), std::string::npos);
    EXPECT_TRUE(out.ends_with("\n     450:" + ones + "\n"));

    EXPECT_EQ(d.run("OCT", {"Z"}).out, "Z               SIZE =        0\n");
}

TEST(Inspection, UnusableDirectorySectorsAreReportedButCountAsFound) {
    FileSpec gone = named("G", 1), bad = named("M", 1);
    gone.magic = test::DELETED_MAGIC;
    bad.sector_size_word = 2;
    Disk d(ImageBuilder(400).file(gone).file(bad));
    for (std::string command : {"LIS", "SUM", "OCT"}) {
        auto r = d.run(command, {"G", "M"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out, "") << command;
        EXPECT_EQ(r.err, "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: G\n"
                         "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: M\n"
                         "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: M\n")
            << command;
    }
}
