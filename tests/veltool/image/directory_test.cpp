// The directory routines in-process, on images made by the test-side builder.
#include "veltool/image/directory.h"

#include "tests/support/image_test.h"

using namespace veltool;
using test::FileSpec;
using test::ImageBuilder;
using test::put24;

namespace {

constexpr std::size_t DIR_OFFSET = 192 * 768;
using DirectoryTest = test::ImageTest;
using test::named;

const std::string RECOMMENDED = "WARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n";

} // namespace

TEST_F(DirectoryTest, LoadsEntriesInDiskOrder) {
    FileSpec prog = named("PROGRAMS", 600);
    prog.ext = "SAV";
    prog.tag = "T1";
    prog.attributes = test::REGULAR | 0400000 | 0x0305;
    ImageBuilder builder(400, 8, test::bcd3(24, 12, 99));
    builder.comment("MY DISK").file(prog).empty(2).file(named("DATA", 0));
    open_image(builder);
    EXPECT_EQ(errors_of([] { read_directory(); }), "");
    EXPECT_EQ(directory_blocks, 8);
    EXPECT_EQ(disk_sectors, 400);
    EXPECT_EQ(disk_comment, "MY DISK");
    EXPECT_EQ(directory_date, test::local_time(1999, 12, 24));
    ASSERT_EQ(entries_used(), 4);
    auto e = directory_list.begin();
    EXPECT_FALSE(e->empty);
    EXPECT_EQ(e->full_name, "PROGRAMS.SAV");
    EXPECT_EQ(e->name, "PROGRAMS");
    EXPECT_EQ(e->extension, "SAV");
    EXPECT_EQ(e->tag, "T1");
    EXPECT_EQ(e->start, 201);
    EXPECT_EQ(e->size, 600);
    EXPECT_EQ(e->attributes, test::REGULAR | 0400000 | 0x0305);
    EXPECT_FALSE(e->sector);
    ++e;
    EXPECT_TRUE(e->empty);
    EXPECT_EQ(e->full_name, "");
    EXPECT_EQ(e->start, 205);
    EXPECT_EQ(e->size, 512);
    ++e;
    EXPECT_EQ(e->full_name, "DATA");
    EXPECT_EQ(e->extension, "");
    EXPECT_EQ(e->start, 208);
    ++e;
    EXPECT_TRUE(e->empty);
    EXPECT_EQ(e->start, 209);
    EXPECT_EQ(e->size, (377 - 209 - 1) * 256);
}

TEST_F(DirectoryTest, BlockCountOutOfRange) {
    for (int n : {7, 257}) {
        auto image = ImageBuilder(400).build();
        put24(image, DIR_OFFSET + 15, n);
        open_image(image);
        EXPECT_EQ(fatal_of([] { read_directory(); }),
                  "ERROR: number of directory blocks " + std::to_string(n) +
                      " not between 8 and 256\nCORRUPT DIRECTORY, DRE REQUIRED !\n");
    }
}

TEST_F(DirectoryTest, BrokenBlockChain) {
    auto image = ImageBuilder(400).build();
    put24(image, DIR_OFFSET + 3, 0302);
    open_image(image);
    EXPECT_EQ(
        fatal_of([] { read_directory(); }),
        "ERROR: directory block 300: next block 302 should be 301\nCORRUPT DIRECTORY, DRE REQUIRED !\n");
}

TEST_F(DirectoryTest, EndOfChainInTheFirstBlockEndsTheWalk) {
    // 31 entries: the 31st is in block 2, which the walk never reaches.
    ImageBuilder builder(600);
    for (int i = 0; i < 30; ++i)
        builder.file(named("F" + std::to_string(i), 10));
    builder.file(named("LAST", 10));
    auto image = builder.build();
    put24(image, DIR_OFFSET + 3, -1);
    open_image(image);
    std::string warnings = errors_of([] { read_directory(); });
    EXPECT_EQ(entries_used(), 30);
    EXPECT_NE(warnings.find("expected last sector"), std::string::npos);
}

TEST_F(DirectoryTest, BlocksMayHaveRoomLeftBeforeFurtherEntries) {
    ImageBuilder builder(600);
    for (int i = 0; i < 31; ++i)
        builder.file(named("F" + std::to_string(i), 0));
    auto image = builder.build();
    // Move the 30th entry of block 0 to the front of block 1 by hand: block 0 holds 29.
    std::vector<std::uint8_t> slot(image.begin() + DIR_OFFSET + 48 + 29 * 24,
                                   image.begin() + DIR_OFFSET + 48 + 30 * 24);
    std::size_t block1 = DIR_OFFSET + 768;
    std::vector<std::uint8_t> rest(image.begin() + block1 + 48, image.begin() + block1 + 48 + 2 * 24);
    std::copy(slot.begin(), slot.end(), image.begin() + block1 + 48);
    std::copy(rest.begin(), rest.begin() + 24, image.begin() + block1 + 72);
    std::copy(rest.begin() + 24, rest.end(), image.begin() + block1 + 96);
    put24(image, DIR_OFFSET + 6, 29);
    put24(image, block1 + 6, 3);
    open_image(image);
    EXPECT_EQ(errors_of([] { read_directory(); }), "");
    EXPECT_EQ(entries_used(), 32);
}

TEST_F(DirectoryTest, ImageSizeNotAWholeNumberOfSectors) {
    auto image = ImageBuilder(400).build();
    image.resize(image.size() + 100);
    open_image(image);
    std::string w = "WARNING: disk image size is not a multiple of KAVOLT sector size\n" + RECOMMENDED;
    EXPECT_EQ(errors_of([] { read_directory(); }), w + w);
}

TEST_F(DirectoryTest, ImageOneSectorLargerThanTheHeaderSays) {
    auto image = ImageBuilder(400).build();
    image.resize(image.size() + 768);
    open_image(image);
    std::string w =
        "WARNING: number of sectors from directory 620 different from disk image size 621\n" + RECOMMENDED;
    EXPECT_EQ(errors_of([] { read_directory(); }), w + w);
    EXPECT_EQ(entries_used(), 1);
}

TEST_F(DirectoryTest, EntriesEndingBeforeTheDiskEnd) {
    ImageBuilder builder(400);
    builder.file(named("A", 256)).empty(400 - 24 - 203 - 2).no_fill();
    open_image(builder);
    std::string w = "WARNING: expected last sector 566 different from disk end 570\n" + RECOMMENDED;
    EXPECT_EQ(errors_of([] { read_directory(); }), w + w);
}

TEST_F(DirectoryTest, EntriesRunningPastTheDiskEnd) {
    ImageBuilder builder(400);
    builder.file(named("A", 256)).file(named("BIG", 175 * 256)).no_fill();
    open_image(builder);
    // A at 201 (1 sector), BIG at 203 with 175 sectors: its last sector is 378, beyond 376.
    std::string w = "WARNING: entry 2: expected last sector 572 bigger than maximum 570\n"
                    "WARNING: expected last sector 572 different from disk end 570\n" +
                    RECOMMENDED;
    EXPECT_EQ(errors_of([] { read_directory(); }), w + w);
}

TEST_F(DirectoryTest, MisplacedEntryIsReportedOnceAndFollowed) {
    FileSpec moved = named("B", 256);
    moved.entry_start = 210;
    ImageBuilder builder(400);
    builder.file(named("A", 256)).file(moved).raw_entry({-1, -1, -1, 212, -164, 0, 0, 0}, 0).no_fill();
    open_image(builder);
    std::string w = "WARNING: entry 2: start sector 322 different from expected 313\n" + RECOMMENDED;
    EXPECT_EQ(errors_of([] { read_directory(); }), w + w);
}

TEST_F(DirectoryTest, ExpectedStartBeyondTheDiskEnd) {
    // The last entry starts at 377, beyond the disk end S - 24 = 376.
    ImageBuilder builder(400);
    builder.file(named("A", 175 * 256)).file(named("B", 0)).no_fill();
    open_image(builder);
    std::string warnings = errors_of([] { read_directory(); });
    EXPECT_NE(warnings.find("WARNING: entry 2: expected start sector 571 bigger than maximum 570\n"),
              std::string::npos);
    EXPECT_NE(warnings.find("WARNING: entry 2: expected last sector 571 bigger than maximum 570\n"),
              std::string::npos);
}

TEST_F(DirectoryTest, EmptySizeInWordsThatIsNoWholeSector) {
    ImageBuilder builder(400);
    builder.raw_entry({-1, -1, -1, 201, 100, 0, 0, 0}, 1);
    open_image(builder);
    std::string warnings = errors_of([] { read_directory(); });
    EXPECT_NE(warnings.find("WARNING: entry 1: empty size is not a multiple of KAVOLT sector size\n"),
              std::string::npos);
}

TEST_F(DirectoryTest, NoEntriesAtAll) {
    auto image = ImageBuilder(400).build();
    put24(image, DIR_OFFSET + 6, 0);
    open_image(image);
    std::string w = "WARNING: number of directory entries 0 not between 1 and 240\n"
                    "WARNING: expected last sector 310 different from disk end 570\n" +
                    RECOMMENDED;
    EXPECT_EQ(errors_of([] { read_directory(); }), w + w);
    testing::internal::CaptureStderr();
    write_directory();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(bytes(), image); // nothing to write
}

TEST_F(DirectoryTest, NegativeSizeInMemory) {
    open_image(ImageBuilder(400));
    read_directory();
    directory_list.front().size = -256;
    std::string warnings = errors_of([] { EXPECT_EQ(verify_directory(), -1); });
    EXPECT_EQ(warnings.substr(0, warnings.find('\n')), "WARNING: entry 1: negative size -256");
}

TEST_F(DirectoryTest, NeighbouringEmptyAreasMerge) {
    ImageBuilder builder(400);
    builder.file(named("A", 256)).empty(2).empty(3).file(named("B", 256));
    open_image(builder);
    EXPECT_EQ(errors_of([] { read_directory(); }), "");
    ASSERT_EQ(entries_used(), 4);
    auto e = std::next(directory_list.begin());
    EXPECT_TRUE(e->empty);
    EXPECT_EQ(e->start, 203);
    EXPECT_EQ(e->size, 6 * 256);
    EXPECT_EQ(std::next(e)->full_name, "B");
    EXPECT_EQ(std::next(e)->start, 210);

    // A run of EMPTY entries becomes one.
    open_image(ImageBuilder(400).empty(1).empty(0).empty(4));
    read_directory();
    ASSERT_EQ(entries_used(), 1);
    EXPECT_EQ(directory_list.front().size, (377 - 201 - 1) * 256);
}

TEST_F(DirectoryTest, SizeWordsInSectorsAndWords) {
    ImageBuilder builder(400);
    FileSpec two_sectors = named("S", 512);
    two_sectors.entry_size_word = -2;
    builder.file(two_sectors).file(named("W", 512));
    open_image(builder);
    EXPECT_EQ(errors_of([] { read_directory(); }), "");
    EXPECT_EQ(directory_list.front().size, 512);
    EXPECT_EQ(std::next(directory_list.begin())->start, 204);
}

TEST_F(DirectoryTest, LargestSizeWordIsTwoToThe31Words) {
    FileSpec huge = named("HUGE", 0);
    huge.entry_size_word = -8388608;
    ImageBuilder builder(400);
    builder.file(huge).no_fill();
    open_image(builder);
    std::string warnings = errors_of([] { read_directory(); });
    EXPECT_EQ(directory_list.front().size, std::int64_t{1} << 31);
    // The running start is 201 + 8388608 + 1 sectors: far beyond the disk, not wrapped.
    EXPECT_NE(warnings.find("entry 1: expected last sector 40000311 bigger than maximum 570"),
              std::string::npos);
}

TEST_F(DirectoryTest, WriteEncodesSizesAtTheWordLimit) {
    ImageBuilder builder(400);
    open_image(builder);
    read_directory();
    auto& e = directory_list.front();
    e.empty = false;
    e.full_name = "BIG";
    e.size = 8388607;
    testing::internal::CaptureStderr();
    write_directory();
    EXPECT_EQ(test::get24(bytes(), DIR_OFFSET + 48 + 12), 8388607);
    e.size = 8388608;
    write_directory();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(test::get24(bytes(), DIR_OFFSET + 48 + 12), -32768);
    e.size = 8388609;
    testing::internal::CaptureStderr();
    write_directory();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(test::get24(bytes(), DIR_OFFSET + 48 + 12), -32769);
}

TEST_F(DirectoryTest, WriteRoundTripGivesTheSameBytes) {
    FileSpec prog = named("PROGRAMS", 600);
    prog.ext = "SAV";
    prog.tag = "T1";
    prog.attributes = test::REGULAR | 0100000;
    ImageBuilder builder(2000, 16, test::bcd3(7, 6, 5));
    builder.comment("ROUND TRIP").file(prog).empty(2);
    for (int i = 0; i < 40; ++i)
        builder.file(named("F" + std::to_string(i), i * 100));
    open_image(builder);
    auto before = bytes();
    read_directory();
    auto list = directory_list;
    write_directory();
    EXPECT_EQ(bytes(), before);
    read_directory();
    ASSERT_EQ(directory_list.size(), list.size());
    auto a = list.begin();
    for (const DirEntry& b : directory_list) {
        EXPECT_EQ(a->full_name, b.full_name);
        EXPECT_EQ(a->start, b.start);
        EXPECT_EQ(a->size, b.size);
        EXPECT_EQ(a->attributes, b.attributes);
        EXPECT_EQ(a->tag, b.tag);
        ++a;
    }
}

TEST_F(DirectoryTest, WriteTidiesAndFillsBlocksInOrder) {
    ImageBuilder builder(600, 8);
    builder.file(named("A", 0));
    open_image(builder);
    read_directory();
    // Split the EMPTY rest into pieces: write merges them again.
    DirEntry& rest = directory_list.back();
    DirEntry piece = rest;
    piece.start = rest.start + 3;
    piece.size = rest.size - 3 * 256;
    rest.size = 2 * 256;
    directory_list.push_back(piece);
    write_directory();
    auto image = bytes();
    EXPECT_EQ(test::get24(image, DIR_OFFSET + 6), 2);
    EXPECT_EQ(test::get24(image, DIR_OFFSET + 72 + 12), -(577 - 202 - 1));
    EXPECT_EQ(test::get24(image, DIR_OFFSET + 768 + 6), 0);
}

TEST_F(DirectoryTest, WriteDropsEntriesBeyondTheCapacity) {
    ImageBuilder builder(600, 8);
    open_image(builder);
    read_directory();
    directory_list.clear();
    for (int i = 0; i < 241; ++i) {
        DirEntry e;
        e.full_name = "F" + std::to_string(i);
        e.name = e.full_name;
        e.attributes = test::REGULAR;
        e.start = 201 + i;
        directory_list.push_back(e);
    }
    testing::internal::CaptureStderr();
    write_directory();
    std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find("number of directory entries 241 not between 1 and 240"), std::string::npos);
    auto image = bytes();
    for (int b = 0; b < 8; ++b)
        EXPECT_EQ(test::get24(image, DIR_OFFSET + b * 768 + 6), 30);
    EXPECT_EQ(test::get24(image, DIR_OFFSET + 7 * 768 + 48 + 29 * 24 + 9), 201 + 239);
}

TEST_F(DirectoryTest, DirectorySectorsAreCheckedAgainstTheirEntries) {
    FileSpec good = named("GOOD", 10);
    good.comment = "fine";
    good.date = test::bcd3(1, 2, 3);
    good.load_address = 0100;
    good.program_start = 0101;
    FileSpec bad_size = named("BAD", 10);
    bad_size.sector_size_word = 11;
    FileSpec deleted = named("GONE", 10);
    deleted.magic = test::DELETED_MAGIC;
    deleted.sector_size_word = 99;
    FileSpec none = named("NONE", 10);
    none.magic = 0;
    ImageBuilder builder(400);
    builder.file(good).file(bad_size).file(deleted).file(none);
    open_image(builder);
    read_directory();
    auto e = directory_list.begin();
    EXPECT_EQ(errors_of([&] { read_directory_sector(*e, image_fd, true); }), "");
    ASSERT_TRUE(e->sector);
    EXPECT_EQ(e->sector->kind, 0);
    EXPECT_EQ(e->sector->comment, "fine");
    EXPECT_EQ(e->sector->load_address, 0100);
    EXPECT_EQ(e->sector->program_start, 0101);
    EXPECT_EQ(e->sector->user_info_address, -1);
    EXPECT_EQ(e->sector->date, test::local_time(2003, 2, 1));
    ++e;
    EXPECT_EQ(errors_of([&] { read_directory_sector(*e, image_fd, true); }),
              "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD\n");
    EXPECT_FALSE(e->sector);
    EXPECT_EQ(errors_of([&] { read_directory_sector(*e, image_fd, false); }), "");
    EXPECT_TRUE(e->sector);
    ++e;
    EXPECT_EQ(errors_of([&] { read_directory_sector(*e, image_fd, true); }), "");
    ASSERT_TRUE(e->sector);
    EXPECT_EQ(e->sector->kind, 1);
    ++e;
    read_directory_sector(*e, image_fd, true);
    EXPECT_FALSE(e->sector);
}

TEST_F(DirectoryTest, EveryFieldOfTheSectorTakesPartInTheCheck) {
    std::vector<FileSpec> variants(6, named("NAME", 10));
    variants[0].sector_name = "OTHER";
    variants[1].sector_ext = "X";
    variants[2].sector_tag = "T";
    variants[3].sector_start = 5;
    variants[4].sector_attributes = test::REGULAR | 1;
    variants[5].sector_size_word = -1;
    for (const FileSpec& variant : variants) {
        open_image(ImageBuilder(400).file(variant));
        read_directory();
        DirEntry& e = directory_list.front();
        EXPECT_EQ(errors_of([&] { read_directory_sector(e, image_fd, true); }),
                  "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: NAME\n");
    }
}

TEST_F(DirectoryTest, RewritingASectorKeepsItsUserInfoArea) {
    FileSpec file_spec = named("KEEP", 10);
    file_spec.sector_tail = std::vector<std::uint8_t>(648, 0x5A);
    open_image(ImageBuilder(400).file(file_spec));
    read_directory();
    DirEntry& e = directory_list.front();
    read_directory_sector(e, image_fd, true);
    ASSERT_TRUE(e.sector);
    e.sector->kind = SECTOR_KIND_DELETED;
    e.sector->comment = "changed";
    write_directory_sector(e);
    auto image = bytes();
    std::size_t sector = 200 * 768;
    EXPECT_EQ(test::get24(image, sector) & 0xFFFFFF, 017052376);
    EXPECT_EQ(image[sector + 48], 'c' | 0x80);
    EXPECT_EQ(image[sector + 55], 0);
    for (std::size_t i = 120; i < 768; ++i)
        ASSERT_EQ(image[sector + i], 0x5A) << i;
    auto original = ImageBuilder(400).file(file_spec).build();
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + sector + 3, image.begin() + sector + 48),
              std::vector<std::uint8_t>(original.begin() + sector + 3, original.begin() + sector + 48));
}

TEST_F(DirectoryTest, ImageTruncatedInsideTheDirectory) {
    auto image = ImageBuilder(400).build();
    image.resize(DIR_OFFSET + 3 * 768);
    open_image(image);
    EXPECT_EQ(fatal_of([] { read_directory(); }), "ERROR: cannot read directory blocks\n");
    image.resize(DIR_OFFSET + 20);
    open_image(image);
    EXPECT_EQ(fatal_of([] { read_directory(); }), "ERROR: cannot read directory header\n");
}

TEST_F(DirectoryTest, DirectorySectorOutsideTheImage) {
    FileSpec far = named("FAR", 0);
    far.entry_start = 0;
    open_image(ImageBuilder(400).file(far));
    errors_of([] { read_directory(); });
    DirEntry& e = directory_list.front();
    EXPECT_EQ(fatal_of([&] { read_directory_sector(e, image_fd, true); }),
              "ERROR: cannot seek disk/file image:\nInvalid argument\n");
    e.start = 5000;
    EXPECT_EQ(fatal_of([&] { read_directory_sector(e, image_fd, true); }),
              "ERROR: cannot read directory sector\n");
}

TEST_F(DirectoryTest, SoundDirectoryBeforeAChange) {
    auto image = ImageBuilder(400).build();
    open_image(image);
    read_directory();
    EXPECT_EQ(errors_of([] { require_sound_directory(false); }), "");
    image.resize(image.size() + 768);
    open_image(image);
    EXPECT_EQ(fatal_of([] { require_sound_directory(false); }),
              "WARNING: number of sectors from directory 620 different from disk image size 621\n"
              "ERROR: CORRUPT DIRECTORY, DRE REQUIRED !\n");
    EXPECT_EQ(errors_of([] { require_sound_directory(true); }),
              "WARNING: number of sectors from directory 620 different from disk image size 621\n"
              "WARNING: CORRUPT DIRECTORY, DRE REQUIRED !\n");
}
