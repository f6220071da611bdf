// del, ren and cop end to end: exit status, messages, and the directory and sectors they leave.
#include <gtest/gtest.h>

#include "tests/veltool/files/disk.h"

using test::bcd3;
using test::Disk;
using test::FileSpec;
using test::ImageBuilder;
using test::named;
using test::six_bit;

namespace {

constexpr std::uint32_t X = 0100000, C = 0200000, P = 0400000, I = 02000000, R = 04000000;
constexpr std::uint32_t FILE_ATTRIBUTES = test::REGULAR | X | C | R | 5 | 3 << 8;

std::string corrupt_warnings() {
    std::string w = "WARNING: number of sectors from directory 620 different from disk image size 621\n";
    return w + "WARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n";
}

std::uint32_t bcd_today() {
    std::time_t now = std::time(nullptr);
    std::tm t = *std::localtime(&now);
    return bcd3(t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
}

// A 300-word file A at 201, B at 204 and the protected P at 206.
ImageBuilder three_files() {
    FileSpec p = named("P", 1);
    p.attributes |= P;
    p.comment = "kept";
    return ImageBuilder(400).file(named("A", 300)).file(named("B", 10)).file(p);
}

} // namespace

TEST(Del, LeavesEmptyAreasMergedOnlyWhenTheDirectoryIsWritten) {
    Disk one(three_files());
    auto sector = one.sector(200);
    auto r = one.run("DEL", {"a"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(one.layout(), "- 201 -2; B 204 10; P 206 1; - 208 -168");
    // The directory sector still describes the file, under the deleted-file magic.
    test::put24(sector, 0, test::DELETED_MAGIC);
    EXPECT_EQ(one.sector(200), sector);

    Disk two(three_files());
    EXPECT_EQ(two.run("DEL", {"A", "B"}).status, 0);
    EXPECT_EQ(two.layout(), "- 201 -4; P 206 1; - 208 -168");
}

TEST(Del, ProtectedFilesNeedY) {
    Disk d(three_files());
    auto before = d.bytes();
    auto r = d.run("DEL", {"P*"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "WARNING: PROTECTED FILE P NOT DELETED\n");
    EXPECT_EQ(d.bytes(), before);
    EXPECT_EQ(d.run("DEL", {"-o", "y", "P*"}).err, "");
    EXPECT_EQ(d.layout(), "A 201 300; B 204 10; - 206 -170");
}

TEST(Del, NothingFound) {
    Disk d(three_files());
    EXPECT_EQ(d.run("DEL", {"X*", "B.TXT"}).out, "FILE NOT FOUND: X*, B.TXT\n");
    EXPECT_EQ(d.run("DEL", {}).out, "FILE NOT FOUND:\n");
    EXPECT_EQ(d.run("DEL", {"-o", "r", "X*"}).out, "");
}

TEST(FileCommands, CorruptDirectoryStopsTheChangeUnlessForced) {
    auto image = three_files().build();
    image.resize(image.size() + test::SECTOR);
    std::string read = corrupt_warnings() + corrupt_warnings();
    std::string verify = "WARNING: number of sectors from directory 620 different from disk image size 621\n";
    for (std::string command : {"DEL", "REN", "COP"}) {
        Disk d(ImageBuilder(400));
        test::write_file(d.image, image);
        auto r = d.run(command, {"A", "C"});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, read + verify + "ERROR: CORRUPT DIRECTORY, DRE REQUIRED !\n") << command;
        EXPECT_EQ(d.bytes(), image) << command;
    }
    Disk d(ImageBuilder(400));
    test::write_file(d.image, image);
    auto r = d.run("DEL", {"-o", "f", "A"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, read + verify + "WARNING: CORRUPT DIRECTORY, DRE REQUIRED !\n" + read);
    EXPECT_EQ(d.word(200, 0), test::DELETED_MAGIC);
}

namespace {

// PROG.SAV at 201 (sector 200 is its directory sector), NOPS at 205 without a start address.
ImageBuilder programs() {
    FileSpec f = named("PROG", 600);
    f.ext = "SAV";
    f.attributes = FILE_ATTRIBUTES;
    f.load_address = 01000;
    f.program_start = 01010;
    f.user_info_address = 02000;
    f.user_info_size = 010;
    f.date = bcd3(24, 12, 99);
    f.tag = "T1";
    f.comment = "first";
    f.sector_tail = {1, 2, 3};
    FileSpec n = named("NOPS", 10);
    n.load_address = 0400;
    return ImageBuilder(400).file(f).file(n);
}

struct Fields {
    std::uint32_t start, load, user_address, user_size, attributes;
};

Fields fields_of(const Disk& d, std::int64_t sector) {
    return {d.word(sector, 6), d.word(sector, 9), d.word(sector, 7), d.word(sector, 8), d.word(sector, 11)};
}

void expect_fields(const Disk& d, std::int64_t sector, const Fields& want, const std::string& what) {
    Fields got = fields_of(d, sector);
    EXPECT_EQ(got.start, want.start) << what;
    EXPECT_EQ(got.load, want.load) << what;
    EXPECT_EQ(got.user_address, want.user_address) << what;
    EXPECT_EQ(got.user_size, want.user_size) << what;
    EXPECT_EQ(got.attributes, want.attributes) << what;
}

} // namespace

TEST(Ren, RenamesAndChangesTheSectorFields) {
    Disk d(programs());
    auto before = d.sector(200);
    auto r = d.run("REN", {"-l", "02000", "-u", "03000", "-s", "010", "-n", "nt", "-c", "new comment",
                           "PROG.SAV", "dir/new.binary"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(d.layout(), "NEW.BINA$NT 201 600; NOPS 205 10; - 207 -169");
    auto after = d.sector(200);
    EXPECT_EQ(d.word(200, 1), six_bit("NEW"));
    EXPECT_EQ(d.word(200, 3), six_bit("BINA"));
    expect_fields(d, 200, {02010, 02000, 03000, 010, FILE_ATTRIBUTES}, "moved");
    EXPECT_EQ(d.word(200, 10), bcd3(24, 12, 99));
    EXPECT_EQ(d.word(200, 12), six_bit("NT"));
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 48, after.begin() + 120),
              test::text8("new comment", 72));
    EXPECT_TRUE(std::equal(after.begin() + 120, after.end(), before.begin() + 120));

    // Without a start address only the load address changes.
    EXPECT_EQ(d.run("REN", {"-l", "02000", "NOPS"}).err, "");
    expect_fields(d, 204, {0xFFFFFF, 02000, 0xFFFFFF, 0, test::REGULAR}, "no start");
}

TEST(Ren, ProgramStartAddressMustLieInTheFile) {
    // Load address 1000, 600 (1130) words: 1000 ... 2127.
    struct Case {
        std::vector<std::string> args;
        std::string err;
        Fields want;
    } cases[] = {
        {{"-g", "02130"}, "WARNING: ILLEGAL PROGRAM START ADDRESS: 2130\n", {}},
        {{"-g", "0777"}, "WARNING: ILLEGAL PROGRAM START ADDRESS: 777\n", {}},
        {{"-g", "01000", "-l", "02000"}, "WARNING: ILLEGAL PROGRAM START ADDRESS: 1000\n", {}},
        {{"-g", "02127"}, "", {02127, 01000, 02000, 010, FILE_ATTRIBUTES}},
        {{"-g", "01000"}, "", {01000, 01000, 02000, 010, FILE_ATTRIBUTES}},
        {{"-g", "03000", "-l", "02000"}, "", {03000, 02000, 02000, 010, FILE_ATTRIBUTES}},
        {{"-g", "0"}, "", {0xFFFFFF, 01000, 02000, 010, FILE_ATTRIBUTES & ~X}},
        {{"-u", "0"}, "", {01010, 01000, 0xFFFFFF, 0, FILE_ATTRIBUTES}},
        {{"-s", "0"}, "", {01010, 01000, 0xFFFFFF, 0, FILE_ATTRIBUTES}},
        {{"-s", "216"}, "", {01010, 01000, 02000, 0330, FILE_ATTRIBUTES}},
        {{"-u", "04000"}, "", {01010, 01000, 04000, 010, FILE_ATTRIBUTES}},
    };
    for (const Case& c : cases) {
        std::string what = c.args[0] + " " + c.args[1];
        Disk d(programs());
        auto before = d.bytes();
        auto args = c.args;
        args.push_back("PROG.SAV");
        auto r = d.run("REN", args);
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_EQ(r.err, c.err) << what;
        if (!c.err.empty()) {
            EXPECT_EQ(d.bytes(), before) << what;
            continue;
        }
        expect_fields(d, 200, c.want, what);
        EXPECT_EQ(d.word(192, 16 + 5), c.want.attributes) << what;
    }
}

TEST(Ren, AttributeStringSetsNumbersAndExactlyItsLetters) {
    const std::uint32_t numbers = 5 | 3 << 8;
    std::pair<std::string, std::uint32_t> cases[] = {
        {"P", test::REGULAR | P | numbers},
        {"3!5X", test::REGULAR | X | 3 | 5 << 8},
        {"0x10", test::REGULAR | X | 020 | 3 << 8}, // the hexadecimal prefix holds an X
        {"300!200", test::REGULAR | 054 | 0110 << 8},
        {"!7ari", test::REGULAR | numbers}, // no first number: no second either; A wins
        {"ri", test::REGULAR | R | numbers},
        {"ic", test::REGULAR | I | C | numbers},
    };
    for (const auto& [text, want] : cases) {
        Disk d(programs());
        EXPECT_EQ(d.run("REN", {"-a", text, "PROG.SAV"}).err, "") << text;
        EXPECT_EQ(d.word(200, 11), want) << text;
        EXPECT_EQ(d.word(192, 16 + 5), want) << text;
        EXPECT_EQ(d.word(200, 6), 01010u) << text;
    }
    // X gives a file without a start address its load address as one.
    Disk d(programs());
    d.run("REN", {"-a", "X", "NOPS"});
    expect_fields(d, 204, {0400, 0400, 0xFFFFFF, 0, test::REGULAR | X}, "X");
}

TEST(Ren, UserInfoSizeAboveTheLimitStopsBeforeTheDirectoryIsRead) {
    Disk d(programs());
    auto before = d.bytes();
    auto r = d.run("REN", {"-s", "217", "NOTHERE"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: ILLEGAL USER INFO SIZE: 331\n");
    EXPECT_EQ(d.bytes(), before);
}

TEST(Ren, CommentBackslashClearsAndLongTextIsCut) {
    Disk d(programs());
    d.run("REN", {"-c", "\\", "PROG.SAV"});
    auto cleared = d.sector(200);
    EXPECT_EQ(std::vector<std::uint8_t>(cleared.begin() + 48, cleared.begin() + 120), test::text8("", 72));
    d.run("REN", {"-c", std::string(100, 'c'), "PROG.SAV"});
    auto cut = d.sector(200);
    EXPECT_EQ(std::vector<std::uint8_t>(cut.begin() + 48, cut.begin() + 120),
              test::text8(std::string(71, 'c'), 72));
    EXPECT_EQ(cut[48 + 70], 'c' | 0x80);
}

TEST(Ren, NamesInUseAndUnusableSectorsSkipTheFile) {
    FileSpec gone = named("G", 1), bad = named("M", 1);
    gone.magic = test::DELETED_MAGIC;
    bad.sector_size_word = 2;
    Disk d(ImageBuilder(400).file(named("A", 1)).file(named("B", 1)).file(gone).file(bad));
    auto r = d.run("REN", {"A", "B", "C"});
    EXPECT_EQ(r.err, "WARNING: ILLEGAL OUTPUT FILENAME: C\n");
    EXPECT_EQ(d.layout(), "C 201 1; B 203 1; G 205 1; M 207 1; - 209 -167");
    EXPECT_EQ(d.run("REN", {"c", "c"}).err, "WARNING: ILLEGAL OUTPUT FILENAME: C\n");
    auto before = d.bytes();
    r = d.run("REN", {"G", "M", "Z"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: G\n"
                     "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: M\n"
                     "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: M\n");
    EXPECT_EQ(d.bytes(), before);
    // A single argument is a pattern: the other changes still apply.
    EXPECT_EQ(d.run("REN", {"-n", "tg", "B"}).err, "");
    EXPECT_EQ(d.layout(), "C 201 1; B$TG 203 1; G 205 1; M 207 1; - 209 -167");
}

namespace {

std::vector<std::uint8_t> pattern_bytes(std::size_t n, int seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed)) % 251);
    return bytes;
}

FileSpec source(const std::string& name, std::int64_t words, int seed = 1) {
    FileSpec f = named(name, words, pattern_bytes(static_cast<std::size_t>(words) * 3, seed));
    f.tag = "TG";
    f.attributes = FILE_ATTRIBUTES;
    f.load_address = 0100;
    f.comment = "source";
    f.date = bcd3(1, 2, 3);
    f.sector_tail = pattern_bytes(648, seed + 1);
    return f;
}

} // namespace

TEST(Cop, BestFitSplitAndTheCopiedSectors) {
    Disk d(ImageBuilder(400).empty(4).file(named("X", 0)).empty(3).file(source("SRC", 500)));
    auto before = d.bytes();
    auto r = d.run("COP", {"src", "dst"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(d.layout(), "- 201 -4; X 206 0; DST$TG 207 500; - 210 0; SRC$TG 211 500; - 214 -162");
    EXPECT_EQ(d.sector(207), d.sector(211));
    EXPECT_EQ(d.sector(208), d.sector(212));
    // The new directory sector is the source's but for name, start sector and date.
    auto copied = d.sector(206), original = d.sector(210);
    EXPECT_EQ(d.word(206, 1), six_bit("DST"));
    EXPECT_EQ(d.word(206, 4), 207u);
    EXPECT_EQ(d.word(206, 10), bcd_today());
    for (int w : {1, 4, 10}) {
        for (int b = 0; b < 3; ++b)
            copied[3 * w + b] = original[3 * w + b];
    }
    EXPECT_EQ(copied, original);
    // Nothing of the source changed.
    for (std::int64_t s = 210; s <= 212; ++s)
        EXPECT_EQ(d.sector(s),
                  std::vector<std::uint8_t>(before.begin() + s * 768, before.begin() + (s + 1) * 768));
}

TEST(Cop, EqualAreasTakeTheFirstAndEmptyFilesFitEmptyAreas) {
    Disk d(ImageBuilder(400).empty(2).file(named("X", 0)).empty(2).file(source("SRC", 512)));
    EXPECT_EQ(d.run("COP", {"SRC", "D"}).err, "");
    EXPECT_EQ(d.layout(), "D$TG 201 512; X 204 0; - 205 -2; SRC$TG 208 512; - 211 -165");

    Disk z(ImageBuilder(400).file(named("Z", 0)).empty(0).file(named("K", 0)));
    EXPECT_EQ(z.run("COP", {"Z", "C"}).err, "");
    EXPECT_EQ(z.layout(), "Z 201 0; C 202 0; K 203 0; - 204 -172");
}

TEST(Cop, FullDirectoryTakesOnlyAnExactFit) {
    // 238 empty files, SRC (2 sectors) and a free area of `free` sectors: 240 entries.
    auto image = [](std::int64_t free) {
        ImageBuilder b(466 + free);
        for (int i = 0; i < 238; ++i)
            b.file(named("F" + std::to_string(i), 0));
        return b.file(source("SRC", 500));
    };
    Disk exact(image(2));
    EXPECT_EQ(exact.run("COP", {"SRC", "D"}).err, "");
    EXPECT_TRUE(exact.layout().ends_with("; F237 438 0; SRC$TG 439 500; D$TG 442 500")) << exact.layout();

    for (auto [free, message] : {std::pair{3, "DIRECTORY FULL"}, std::pair{1, "DISK FULL"}}) {
        Disk d(image(free));
        auto before = d.bytes();
        auto r = d.run("COP", {"SRC", "D"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, std::string("WARNING: ") + message + "\n");
        EXPECT_EQ(d.bytes(), before);
    }
}

TEST(Cop, ReplacesAnExistingDestinationProtectedOnlyWithY) {
    FileSpec old = source("DST", 700, 9);
    old.attributes |= P;
    Disk d(ImageBuilder(400).file(source("SRC", 500)).file(old).file(named("KEEP", 1)));
    auto before = d.bytes();
    auto r = d.run("COP", {"SRC", "DST"});
    EXPECT_EQ(r.err, "WARNING: ILLEGAL OUTPUT FILENAME: DST\n");
    EXPECT_EQ(d.bytes(), before);
    EXPECT_EQ(d.run("COP", {"-o", "y", "SRC", "DST"}).err, "");
    EXPECT_EQ(d.layout(), "SRC$TG 201 500; DST$TG 204 500; - 207 0; KEEP 208 1; - 210 -166");
    EXPECT_EQ(d.sector(204), d.sector(201));
    EXPECT_EQ(d.word(203, 11), FILE_ATTRIBUTES);
}

TEST(Cop, ReplacedDestinationIsRestoredWhenNoCopyIsMade) {
    // DST between two free areas: released, it merges with both; the source does not fit.
    Disk full(ImageBuilder(244)
                  .file(source("SRC", 2560))
                  .empty(1)
                  .file(source("DST", 1, 5))
                  .empty(1)
                  .file(named("KEEP", 0)));
    auto before = full.bytes();
    auto r = full.run("COP", {"SRC", "DST"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "WARNING: DISK FULL\n");
    EXPECT_EQ(full.bytes(), before);

    FileSpec gone = source("BAD", 10);
    gone.magic = test::DELETED_MAGIC;
    Disk bad(ImageBuilder(400).file(gone).file(source("DST", 1, 5)));
    before = bad.bytes();
    r = bad.run("COP", {"BAD", "DST"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD\n");
    EXPECT_EQ(bad.bytes(), before);
}

TEST(Cop, SeveralSourcesLeaveACopyOfTheLast) {
    Disk d(ImageBuilder(400).file(source("A1", 10, 1)).file(source("A2", 10, 2)));
    auto r = d.run("COP", {"A*", "AX"});
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(d.layout(), "A1$TG 201 10; A2$TG 203 10; AX$TG 205 10; - 207 -169");
    EXPECT_EQ(d.sector(205), d.sector(203));
    // A file is not copied onto itself.
    auto before = d.bytes();
    r = d.run("COP", {"ax", "ax"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "WARNING: ILLEGAL OUTPUT FILENAME: AX\n");
    EXPECT_EQ(d.bytes(), before);
}

TEST(Cop, DestinationAndSources) {
    Disk d(ImageBuilder(400).file(source("A1", 10)));
    auto r = d.run("COP", {"A1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: DESTINATION FILENAME NOT SPECIFIED\n");
    EXPECT_EQ(d.run("COP", {"Q*", "B*", "AX"}).out, "FILE NOT FOUND: Q*, B*\n");
    EXPECT_EQ(d.run("COP", {"-o", "R", "Q*", "AX"}).out, "");
}
