// rea and wri end to end: host files, image bytes, output lines and exit status.
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

// PROG.SAV: five words, the first with bit 23 set.
FileSpec prog() {
    FileSpec f =
        named("PROG.SAV", 5, {0x80, 0, 0, 0, 0, 1, 0x7F, 0xFF, 0xFF, 0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF});
    f.tag = "T1", f.attributes = REGULAR | 0400000, f.load_address = 01000, f.comment = "first";
    return f.sector_tail = {1, 2, 3}, f;
}

// PROG.SAV at 201, TEXT.TXT at 203, NULL at 205, BAD.SEC at 206 (its sector gives another
// size), GONE at 208 (its sector is a deleted file's), EMPTY from 210.
ImageBuilder sample() {
    FileSpec bad = named("BAD.SEC", 1), gone = named("GONE", 1);
    bad.sector_size_word = 2, gone.magic = DELETED_MAGIC;
    ImageBuilder b(400);
    b.file(prog()).file(named("TEXT.TXT", 3, {0xC1, 0xC2, 0x8D, 0x8C, 0x84, 0xC5, 0xC6}));
    return b.file(named("NULL", 0)).file(bad).file(gone);
}

Bytes concat(Bytes a, const Bytes& b) {
    return a.insert(a.end(), b.begin(), b.end()), a;
}

} // namespace

TEST(Rea, HostForms) {
    Disk d(sample());
    const std::string out = d.dir.path() + "/";
    const Bytes packed{0x00, 0x00, 0x80, 0xFF, 0x01, 0, 0,    0,    0xFF, 0xFF,
                       0x7F, 0,    0x56, 0x34, 0x12, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes text_sector = directory_sector(named("TEXT.TXT", 3), 203);
    // clang-format off
    for (const auto& [letters, name, expected] : {std::tuple<std::string, std::string, Bytes>
             {"", "PROG.SAV", concat(directory_sector(prog(), 201), prog().data)}, {"d", "PROG.SAV", prog().data},
             {"PD", "PROG.SAV", packed}, {"a", "TEXT.TXT", {'A', 'B', '\n', '\f'}},
             {"BA", "TEXT.TXT", concat(text_sector, {0xC1, 0xC2, 0x8D, 0x8C, 0x84, 0xC5, 0xC6, 0, 0})},
             {"", "NULL", directory_sector(named("NULL", 0), 205)}, {"D", "NULL", {}}}) {
        // clang-format on
        EXPECT_EQ(outcome(d.run("REA", {"-o", letters, "-f", out, "-e", ".out", name})), "0||");
        EXPECT_EQ(read_file(out + name + ".out"), expected) << letters << " " << name;
    }
    // P alone: the directory sector as 256 integers (the magic, then name word 0), the data.
    EXPECT_EQ(d.run("REA", {"-o", "p", "-f", out, "PROG.SAV"}).status, 0);
    Bytes whole = read_file(out + "PROG.SAV");
    ASSERT_EQ(whole.size(), 1044u);
    EXPECT_EQ(Bytes(whole.begin(), whole.begin() + 8), (Bytes{0xF5, 0x84, 0x47, 0, 0xC7, 0x23, 0x41, 0}));
    EXPECT_EQ(Bytes(whole.begin() + 1024, whole.end()), packed);
}

TEST(Rea, SelectionLinesAndReports) {
    Disk d(sample());
    const std::string pre = d.dir.file("x-"),
                      corrupt = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: ";
    EXPECT_EQ(outcome(d.run("REA", {"-o", "v", "-f", pre, "-e", ".b", "*.sav", "P*", "T*"})),
              "0|READING PROG.SAV      TO " + pre + "PROG.SAV.b\nREADING TEXT.TXT      TO " + pre +
                  "TEXT.TXT.b\n|");
    EXPECT_EQ(outcome(d.run("REA", {"NOPE", "X*"})), "0|FILE NOT FOUND: NOPE, X*\n|");
    EXPECT_EQ(outcome(d.run("REA", {})), "0|FILE NOT FOUND:\n|");
    EXPECT_EQ(outcome(d.run("REA", {"-o", "R", "NOPE"})), "0||");
    EXPECT_EQ(d.run("REA", {"-o", "v", "-f", pre, "-r", "T1", "P*", "T*"}).out,
              "READING PROG.SAV      TO " + pre + "PROG.SAV\n");
    EXPECT_EQ(d.run("REA", {"-o", "v", "-f", pre, "-r", "X", "-z", "P*", "T*"}).out,
              "READING TEXT.TXT      TO " + pre + "TEXT.TXT\n");
    // Unusable directory sectors: warned (the cross-check warns too), skipped, yet found.
    EXPECT_EQ(outcome(d.run("REA", {"-o", "V", "-f", pre, "BAD.SEC", "GONE"})),
              "0||" + corrupt + "BAD.SEC\n" + corrupt + "BAD.SEC\n" + corrupt + "GONE\n");
    EXPECT_FALSE(std::filesystem::exists(pre + "GONE"));
    EXPECT_EQ(outcome(d.run("REA", {"-f", d.dir.file("none/"), "PROG.SAV"})),
              "1||ERROR: cannot create VELTRA file " + d.dir.file("none/PROG.SAV") +
                  ":\nNo such file or directory\n");
    // A name on a damaged disk that would lead out of the folder is skipped.
    FileSpec up = named("UP", 1), dots = named("DOTS", 1);
    up.name = "../UP", dots.name = "..";
    Disk bad(ImageBuilder(400).file(up).file(dots).file(named("OK", 1)));
    std::filesystem::create_directory(bad.dir.file("out"));
    EXPECT_EQ(outcome(bad.run("REA", {"-o", "V", "-f", bad.dir.file("out/"), "*"})),
              "0|READING OK            TO " + bad.dir.file("out/OK") +
                  "\n|WARNING: ILLEGAL OUTPUT FILENAME: ../UP\nWARNING: ILLEGAL OUTPUT FILENAME: ..\n");
    EXPECT_FALSE(std::filesystem::exists(bad.dir.file("UP")));
}

TEST(Transfer, RoundTripsInEveryForm) {
    Disk from(sample());
    for (std::string letters : {"", "D", "P", "PD", "BA"}) {
        Disk to(ImageBuilder(400));
        std::string path = to.dir.file("PROG.SAV");
        ASSERT_EQ(from.run("REA", {"-o", letters, "-f", to.dir.path() + "/", "PROG.SAV"}).status, 0);
        Bytes host = read_file(path);
        EXPECT_EQ(outcome(to.run("WRI", {"-o", letters, path})), "0||");
        // Nothing else in the host directory: the temporary file is gone.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(to.dir.path()), {}), 2);
        ASSERT_EQ(to.run("REA", {"-o", letters, "-f", to.dir.file("back-"), "PROG.SAV"}).status, 0);
        // The file comes back as it went, but for the date of its directory sector.
        for (int i = 0; (letters == "" || letters == "BA") && i < 3; ++i)
            host[30 + i] = static_cast<std::uint8_t>(today_word() >> (16 - 8 * i));
        for (int i = 0; letters == "P" && i < 4; ++i)
            host[40 + i] = static_cast<std::uint8_t>(today_word() >> (8 * i));
        EXPECT_EQ(read_file(to.dir.file("back-PROG.SAV")), host) << letters;
    }
    // Text, and integers of which only the low 24 bits count, the last one partial.
    Disk d(ImageBuilder(400));
    std::string note = d.host("note", {'A', 'B', '\n', '\f'});
    std::string ints = d.host("ints", {0x67, 0x45, 0x23, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 0x99});
    EXPECT_EQ(d.run("WRI", {"-o", "A", note}).status, 0);
    EXPECT_EQ(d.run("WRI", {"-o", "DP", ints}).status, 0);
    EXPECT_EQ(d.run("REA", {"-o", "A", "-f", d.dir.file("back-"), "NOTE"}).status, 0);
    EXPECT_EQ(read_file(d.dir.file("back-NOTE")), read_file(note));
    EXPECT_EQ(d.sector(203, 7), (Bytes{0x23, 0x45, 0x67, 0xFF, 0xFF, 0xFF, 0}));
    // A NUL ends a text also inside a block without a line end.
    EXPECT_EQ(d.run("WRI", {"-o", "A", d.host("nul", concat(Bytes(10, 'n'), Bytes(60, 0)))}).status, 0);
    EXPECT_EQ(d.layout(), "NOTE 201 2; INTS 203 2; NUL 205 4; - 207 -169");
    // A host name splits at its first dot; the extension keeps four characters.
    EXPECT_EQ(d.run("WRI", {"-o", "D", d.host("run.1.fid", {1})}).status, 0);
    EXPECT_EQ(d.run("SDI", {"-o", "n", "RUN*"}).out, "RUN     .1.FI\n");
}

TEST(Wri, ReplacesFilesOfTheSameName) {
    FileSpec old = named("OLD.DAT", 600, Bytes(1800, 0xAA));
    old.attributes = REGULAR | 0400000;
    Disk d(ImageBuilder(400).file(old));
    // The host file's own directory sector, without the file marker.
    FileSpec own = named("ZZZ.ABC", 2);
    own.attributes = 0100000, own.tag = "T9", own.comment = "new", own.load_address = 0123;
    own.program_start = 0124, own.user_info_address = 0200, own.user_info_size = 3,
    own.sector_tail = {7, 7, 7};
    std::string path = d.host("old.dat", concat(directory_sector(own, 5), {9, 8, 7, 6, 5, 4}));
    const Bytes before = d.bytes();
    EXPECT_EQ(outcome(d.run("WRI", {"-o", "v", path})), "0||WARNING: ILLEGAL OUTPUT FILENAME: OLD.DAT\n");
    EXPECT_EQ(d.bytes(), before);

    // With Y the old file goes and the new one takes the start of its area, with the host
    // file's directory sector under its own name, start, size and date, and the file marker.
    EXPECT_EQ(outcome(d.run("WRI", {"-o", "vy", path})), "0|WRITING " + path + " TO OLD.DAT\n|");
    EXPECT_EQ(d.layout(), "OLD.DAT$T9 201 2; - 203 -173");
    own.name = "OLD", own.ext = "DAT", own.attributes |= REGULAR, own.date = today_word();
    EXPECT_EQ(d.sector(200), directory_sector(own, 201));
    EXPECT_EQ(d.word(192, 16 + 5), own.attributes);
    EXPECT_EQ(d.sector(201, 7), (Bytes{9, 8, 7, 6, 5, 4, 0xAA}));
    // With O the name comes from the host file's sector.
    EXPECT_EQ(d.run("WRI", {"-o", "O", path}).status, 0);
    EXPECT_EQ(d.layout(), "OLD.DAT$T9 201 2; ZZZ.ABC$T9 203 2; - 205 -171");
}

TEST(Wri, AReplacementNotMadeLeavesTheOldFile) {
    // EMPTY 201 (2 sectors), OLD.DAT 204 (2), EMPTY 207 (1), X 209, EMPTY 210 (2): released,
    // OLD.DAT leaves an area of 7 sectors.
    const Bytes image = test::image("236 -2 OLD.DAT:512 -1 X:0");
    Disk full(image);
    std::string big = full.host("old.dat", Bytes(8 * 768, 1));
    EXPECT_EQ(outcome(full.run("WRI", {"-o", "DV", big, full.host("small", Bytes(3, 1))})),
              "0||WARNING: DISK FULL\n");
    EXPECT_EQ(full.bytes(), image);

    // A host file that cannot be read once its area is chosen.
    Disk unreadable(image);
    std::string folder = unreadable.dir.file("old.dat");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    struct stat status {};
    ASSERT_EQ(stat(folder.c_str(), &status), 0);
    if (status.st_size == 0 || status.st_size > 7 * 768) GTEST_SKIP() << "directory size " << status.st_size;
    EXPECT_EQ(outcome(unreadable.run("WRI", {"-o", "DV", folder})),
              "0|WRITING " + folder + " TO OLD.DAT\n|WARNING: cannot read file sector:\nIs a directory\n");
    EXPECT_EQ(unreadable.bytes(), image);

    // A host file without a usable directory sector changes nothing.
    Disk bad(image);
    std::string no_sector = bad.host("old.dat", Bytes(800, 0x55));
    EXPECT_EQ(bad.run("WRI", {"-o", "V", no_sector}).err,
              "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: OLD.DAT\n");
    EXPECT_EQ(bad.run("WRI", {"-o", "VO", no_sector}).err,
              "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: " + no_sector + "\n");
    // Host files missing, empty, or too long a name for a temporary file beside them.
    std::string missing = bad.dir.file("missing"), short_file = bad.host("short", Bytes(767, 0));
    std::string long_name = bad.host(std::string(250, 'p'), Bytes(8, 0));
    EXPECT_EQ(outcome(bad.run("WRI", {})), "1||ERROR: NOTHING TO WRITE\n");
    EXPECT_EQ(outcome(bad.run("WRI", {"-o", "v", missing, short_file})),
              "0||WARNING: cannot open VELTRA file " + missing +
                  ":\nNo such file or directory\nWARNING: VELTRA file " + short_file + " contains no data\n");
    EXPECT_EQ(outcome(bad.run("WRI", {"-o", "PD", long_name})),
              "0||WARNING: cannot create VELTRA temporary file " + long_name +
                  "XXXXXX:\nFile name too long\n");
    EXPECT_EQ(bad.bytes(), image);

    // The host file's sector is looked at before the protection of the file it would replace.
    Disk guarded("236 -2 OLD.DAT:512:P -1 X:0");
    std::string bad_host = guarded.host("old.dat", Bytes(800, 0x55));
    EXPECT_EQ(guarded.run("WRI", {bad_host}).err,
              "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: OLD.DAT\n");
    EXPECT_EQ(guarded.run("WRI", {"-o", "D", bad_host}).err, "WARNING: ILLEGAL OUTPUT FILENAME: OLD.DAT\n");
}
