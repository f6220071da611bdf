// del, ren and cop end to end: exit status, messages, and the directory and sectors they leave.
#include <array>
#include <gtest/gtest.h>
#include <tuple>

#include "tests/support/disk.h"

using namespace test;

namespace {

constexpr std::uint32_t NUMBERS = 5 | 3 << 8, ATTRS = REGULAR | X | C | R | NUMBERS;

} // namespace

TEST(Del, ProtectionPatternsAndTheMergeWhenTheDirectoryIsWritten) {
    const std::string three = "400 A:300 B:10 P:1:P"; // A at 201, B at 204, P at 206, free from 208
    // clang-format off
    check_rows({
        {three, "DEL", {"a"}, "0||", "- 201 -2; B 204 10; P 206 1; - 208 -168"},
        {three, "DEL", {"A", "B"}, "0||", "- 201 -4; P 206 1; - 208 -168"},
        {three, "DEL", {"P*"}, "0||WARNING: PROTECTED FILE P NOT DELETED\n", "="},
        {three, "DEL", {"X*", "B.TXT"}, "0|FILE NOT FOUND: X*, B.TXT\n|", "="},
        {three, "DEL", {}, "0|FILE NOT FOUND:\n|", "="},
        {three, "DEL", {"-o", "r", "X*"}, "0||", "="},
        {three, "DEL", {"-o", "y", "P*"}, "0||", "A 201 300; B 204 10; - 206 -170"},
        {"400 A$T:0 B:0", "DEL", {"-r", "T", "*"}, "0||", "- 201 0; B 202 0; - 203 -173"},
        {"400 A$T:0 B:0", "DEL", {"-r", "X", "-z", "*"}, "0||", "A$T 201 0; - 202 -174"},
    });
    // clang-format on
    // The directory sector is marked deleted; the rest still describes the file.
    Disk d(three);
    Bytes sector = d.sector(200);
    put24(sector, 0, DELETED_MAGIC);
    EXPECT_EQ(outcome(d.run("DEL", {"a"})), "0||");
    EXPECT_EQ(d.sector(200), sector);
}

TEST(FileCommands, CorruptDirectoryStopsTheChangeUnlessForced) {
    Bytes image = test::image("400 A:300 B:10 P:1:P");
    image.resize(image.size() + SECTOR);
    std::string sizes = "WARNING: number of sectors from directory 620 different from disk image size 621\n";
    std::string read = sizes + "WARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n" + sizes +
                       "WARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n";
    const std::string required = sizes + "WARNING: CORRUPT DIRECTORY, DRE REQUIRED !\n",
                      refused = "1||" + read + sizes + "ERROR: CORRUPT DIRECTORY, DRE REQUIRED !\n",
                      forced = "0||" + read + required + read, kept = "B 204 10; P 206 1; ";
    // Every changer that verifies the directory: refused, and done with F.
    // clang-format off
    check_rows({
        {image, "DEL", {"A", "C"}, refused, "="}, {image, "REN", {"A", "C"}, refused, "="},
        {image, "COP", {"A", "C"}, refused, "="}, {image, "RES", {"R", "1"}, refused, "="},
        {image, "FIX", {}, refused, "="},
        {image, "DEL", {"-o", "f", "A"}, forced, "- 201 -2; " + kept + "- 208 -168"},
        {image, "REN", {"-o", "F", "A", "C"}, forced, "C 201 300; " + kept + "- 208 -168"},
        {image, "COP", {"-o", "F", "A", "C"}, forced, "A 201 300; " + kept + "C 208 300; - 211 -165"},
        {image, "RES", {"-o", "F", "R", "1"}, forced, "A 201 300; " + kept + "R 208 256; - 210 -166"},
    });
    // clang-format on
    Disk d(image);
    std::string host = d.host("h", {1});
    EXPECT_EQ(outcome(d.run("WRI", {"-o", "D", host})), refused);
    EXPECT_TRUE(d.bytes() == image);
    EXPECT_EQ(outcome(d.run("WRI", {"-o", "DF", host})), forced);
    EXPECT_EQ(d.layout(), "A 201 300; " + kept + "H 208 1; - 210 -166");
    Disk fixed(image); // fix checks the directory once for each file, and then does its work
    EXPECT_EQ(outcome(fixed.run("FIX", {"-o", "F"})), "0||" + read + required + required + required + read);
    EXPECT_TRUE(fixed.bytes() != image);
}

namespace {

// PROG.SAV at 201 (its directory sector is 200), 600 words loaded at 1000; NOPS at 205 (204)
// without a start address.
ImageBuilder programs() {
    FileSpec f = named("PROG.SAV", 600), n = named("NOPS", 10);
    f.attributes = ATTRS, f.load_address = 01000, f.program_start = 01010, f.user_info_address = 02000;
    f.user_info_size = 010, f.date = bcd3(24, 12, 0), f.tag = "T1", f.sector_tail = {1, 2, 3};
    n.load_address = 0400;
    return ImageBuilder(400).file(f).file(n);
}

// Program start, load address, user info address and size, attribute word.
using Fields = std::array<std::uint32_t, 5>;

Fields fields_of(const Disk& d, std::int64_t sector) {
    return {d.word(sector, 6), d.word(sector, 9), d.word(sector, 7), d.word(sector, 8), d.word(sector, 11)};
}

std::vector<std::uint8_t> comment_of(const Disk& d) {
    auto s = d.sector(200);
    return {s.begin() + 48, s.begin() + 120};
}

} // namespace

TEST(Ren, RenamesAndMovesTheStartAddressWithTheLoadAddress) {
    Disk d(programs());
    auto before = d.sector(200);
    EXPECT_EQ(outcome(d.run("REN", {"-l", "02000", "-u", "03000", "-s", "010", "-n", "nt", "-c",
                                    "new comment", "PROG.SAV", "dir/new.binary"})),
              "0||");
    EXPECT_EQ(d.layout(), "NEW.BINA$NT 201 600; NOPS 205 10; - 207 -169");
    EXPECT_EQ((Fields{d.word(200, 1), d.word(200, 3), d.word(200, 12), d.word(200, 10)}),
              (Fields{six_bit("NEW"), six_bit("BINA"), six_bit("NT"), bcd3(24, 12, 0)}));
    EXPECT_EQ(fields_of(d, 200), (Fields{02010, 02000, 03000, 010, ATTRS}));
    EXPECT_EQ(comment_of(d), text8("new comment", 72));
    auto after = d.sector(200);
    EXPECT_TRUE(std::equal(after.begin() + 120, after.end(), before.begin() + 120));

    EXPECT_EQ(outcome(d.run("REN", {"-l", "02000", "-a", "x", "NOPS"})), "0||");
    EXPECT_EQ(fields_of(d, 204), (Fields{02000, 02000, 0xFFFFFF, 0, REGULAR | X})); // X: start = load

    EXPECT_EQ(outcome(d.run("REN", {"-c", "\\", "NEW.BINA"})), "0||");
    EXPECT_EQ(comment_of(d), text8("", 72));
    d.run("REN", {"-c", std::string(100, 'c'), "NEW.BINA"});
    EXPECT_EQ(comment_of(d), text8(std::string(71, 'c'), 72));
}

TEST(Ren, FieldByField) {
    // The file holds 1000 ... 2127 (600 = 1130 words from 1000).
    std::pair<std::vector<std::string>, Fields> cases[] = {
        {{"-g", "02127"}, {02127, 01000, 02000, 010, ATTRS}},
        {{"-g", "01000"}, {01000, 01000, 02000, 010, ATTRS}},
        {{"-g", "0"}, {0xFFFFFF, 01000, 02000, 010, ATTRS & ~X}},
        {{"-u", "0"}, {01010, 01000, 0xFFFFFF, 0, ATTRS}},
        {{"-s", "216"}, {01010, 01000, 02000, 0330, ATTRS}},
        {{"-s", "0"}, {01010, 01000, 0xFFFFFF, 0, ATTRS}},
        {{"-a", "3!5X"}, {01010, 01000, 02000, 010, REGULAR | X | 3 | 5 << 8}},
        {{"-a", "0x10"}, {01010, 01000, 02000, 010, REGULAR | X | 020 | 3 << 8}}, // 0x holds an X
        {{"-a", "300!200"}, {01010, 01000, 02000, 010, REGULAR | 054 | 0110 << 8}},
        {{"-a", "!7ari"}, {01010, 01000, 02000, 010, REGULAR | NUMBERS}}, // no numbers; A wins
        {{"-a", "p"}, {01010, 01000, 02000, 010, REGULAR | P | NUMBERS}},
        {{"-a", "r"}, {01010, 01000, 02000, 010, REGULAR | R | NUMBERS}},
        {{"-a", "ic", "-g", "0"}, {0xFFFFFF, 01000, 02000, 010, REGULAR | I | C | NUMBERS}},
    };
    for (auto [args, want] : cases) {
        Disk d(programs());
        args.push_back("PROG.SAV");
        EXPECT_EQ(outcome(d.run("REN", args)), "0||") << args[1];
        EXPECT_EQ(fields_of(d, 200), want) << args[1];
        EXPECT_EQ(d.word(192, 16 + 5), want[4]) << args[1];
    }
    const std::string illegal = "0||WARNING: ILLEGAL PROGRAM START ADDRESS: ";
    // clang-format off
    check_rows({
        {programs(), "REN", {"-g", "02130", "PROG.SAV"}, illegal + "2130\n", "="},
        {programs(), "REN", {"-g", "0777", "PROG.SAV"}, illegal + "777\n", "="},
        {programs(), "REN", {"-g", "01000", "-l", "02000", "PROG.SAV"}, illegal + "1000\n", "="},
        {programs(), "REN", {"-s", "217", "NOTHERE"}, "1||ERROR: ILLEGAL USER INFO SIZE: 331\n", "="},
    });
    // clang-format on
}

TEST(Ren, NamesInUseAndUnusableSectorsSkipTheFile) {
    const std::string four = "400 A:1 B:1 G:1:d M:1:b";
    const std::string corrupt = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: ";
    // clang-format off
    check_rows({
        {four, "REN", {"A", "B", "C"}, "0||WARNING: ILLEGAL OUTPUT FILENAME: C\n",
         "C 201 1; B 203 1; G 205 1; M 207 1; - 209 -167"},
        {four, "REN", {"b", "b"}, "0||WARNING: ILLEGAL OUTPUT FILENAME: B\n", "="},
        {four, "REN", {"G", "M", "Z"}, "0||" + corrupt + "G\n" + corrupt + "M\n" + corrupt + "M\n", "="},
        // A single argument is a pattern: the other changes still apply.
        {four, "REN", {"-n", "tagsx", "B"}, "0||", "A 201 1; B$TAGS 203 1; G 205 1; M 207 1; - 209 -167"},
        {four, "REN", {"-o", "r", "Q"}, "0||", "="},
        {"400 A$T:0 B:0", "REN", {"-r", "T", "-n", "N", "*"}, "0||", "A$N 201 0; B 202 0; - 203 -173"},
        {"400 A$T:0 B:0", "REN", {"-r", "X", "-z", "-n", "N", "*"}, "0||", "A$T 201 0; B$N 202 0; - 203 -173"},
    });
    // clang-format on
}

namespace {

FileSpec source(const std::string& name, std::int64_t words) {
    FileSpec f = file_spec(name, words, 1);
    f.tag = "TG", f.attributes = ATTRS, f.comment = "source", f.date = bcd3(1, 2, 3);
    return f;
}

} // namespace

TEST(Cop, BestFitSplitsTheAreaAndCopiesSectorBySector) {
    Disk d(ImageBuilder(400).empty(4).file(named("X", 0)).empty(3).file(source("SRC", 500)));
    auto before = d.bytes();
    EXPECT_EQ(outcome(d.run("COP", {"src", "dst"})), "0||");
    EXPECT_EQ(d.layout(), "- 201 -4; X 206 0; DST$TG 207 500; - 210 0; SRC$TG 211 500; - 214 -162");
    EXPECT_EQ(d.sector(207), d.sector(211));
    EXPECT_EQ(d.sector(208), d.sector(212));
    // The copy's directory sector is the source's but for name, start sector and date.
    auto copied = d.sector(206);
    for (auto [w, value] : {std::pair{1, six_bit("DST")}, {4, 207u}, {10, today_word()}}) {
        EXPECT_EQ(d.word(206, w), value);
        put24(copied, static_cast<std::size_t>(3 * w),
              get24(before, static_cast<std::size_t>(210 * SECTOR + 3 * w)));
    }
    EXPECT_EQ(copied, d.sector(210));
    EXPECT_TRUE(std::equal(before.begin() + 210 * SECTOR, before.begin() + 213 * SECTOR,
                           d.bytes().begin() + 210 * SECTOR));
}

TEST(Cop, PlacementReplacementAndWhatIsPutBack) {
    // 238 empty files, SRC (2 sectors) and a free area of `free` sectors: 240 entries.
    auto full = [](int free) { return std::to_string(466 + free) + " F*238 SRC:500"; };
    const std::string two = "400 A1$TG:10 A2$TG:10";
    // clang-format off
    check_rows({
        {"400 -2 X:0 -2 SRC:512", "COP", {"SRC", "D"}, "0||",
         "D 201 512; X 204 0; - 205 -2; SRC 208 512; - 211 -165"},
        {"400 Z:0 -0 K:0", "COP", {"Z", "C"}, "0||", "Z 201 0; C 202 0; K 203 0; - 204 -172"},
        {full(2), "COP", {"SRC", "D"}, "0||", ""},
        {full(3), "COP", {"SRC", "D"}, "0||WARNING: DIRECTORY FULL\n", "="},
        {full(1), "COP", {"SRC", "D"}, "0||WARNING: DISK FULL\n", "="},
        {"400 SRC:500 DST:700:P KEEP:1", "COP", {"SRC", "DST"}, "0||WARNING: ILLEGAL OUTPUT FILENAME: DST\n",
         "="},
        {"400 SRC:500 DST:700:P KEEP:1", "COP", {"-o", "y", "SRC", "DST"}, "0||",
         "SRC 201 500; DST 204 500; - 207 0; KEEP 208 1; - 210 -166"},
        // DST between two free areas: released, it merges with both, and still SRC does not fit.
        {"244 SRC:2560 -1 DST:1 -1 KEEP:0", "COP", {"SRC", "DST"}, "0||WARNING: DISK FULL\n", "="},
        {"400 BAD:10:d DST:1", "COP", {"BAD", "DST"},
         "0||WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD\n", "="},
        // Several sources leave a copy of the last; none is copied onto itself.
        {two, "COP", {"A*", "AX"}, "0||", "A1$TG 201 10; A2$TG 203 10; AX$TG 205 10; - 207 -169"},
        {two, "COP", {"a1", "a1"}, "0||WARNING: ILLEGAL OUTPUT FILENAME: A1\n", "="},
        {two, "COP", {"A1"}, "1||ERROR: DESTINATION FILENAME NOT SPECIFIED\n", "="},
        {two, "COP", {"Q*", "B*", "AX"}, "0|FILE NOT FOUND: Q*, B*\n|", "="},
        {two, "COP", {"-o", "R", "Q*", "AX"}, "0||", "="},
        {"400 A1$T:0 A2:0", "COP", {"-r", "T", "A*", "C"}, "0||", "A1$T 201 0; A2 202 0; C$T 203 0; - 204 -172"},
        {"400 A1$T:0 A2:0", "COP", {"-r", "X", "-z", "A*", "C"}, "0||", "A1$T 201 0; A2 202 0; C 203 0; - 204 -172"},
    });
    // clang-format on
    Disk exact(full(2)), replaced("400 SRC:500 DST:700:P KEEP:1"), several(two);
    exact.run("COP", {"SRC", "D"});
    EXPECT_TRUE(exact.layout().ends_with("; F237 438 0; SRC 439 500; D 442 500")) << exact.layout();
    replaced.run("COP", {"-o", "y", "SRC", "DST"});
    EXPECT_EQ(replaced.sector(204), replaced.sector(201));
    several.run("COP", {"A*", "AX"});
    EXPECT_EQ(several.sector(205), several.sector(203));

    // A copy made in this run and put back after a damaged source is no source itself.
    Disk twice("400 T1:10 T2:10:d"), once("400 T1:10 T2:10:d");
    EXPECT_EQ(outcome(twice.run("COP", {"t*", "T"})),
              "0||WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: T2\n");
    once.run("COP", {"T1", "T"});
    EXPECT_EQ(twice.bytes(), once.bytes());
}
