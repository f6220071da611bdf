// Placement by best fit, release of a file and its restoration, in-process.
#include "veltool/files/free_space.h"

#include "tests/support/image_test.h"

using namespace veltool;
using test::FileSpec;
using test::ImageBuilder;
using test::named;

namespace {

using FreeSpaceTest = test::ImageTest;

// The list as (start, size in words, name or "") triples, for comparisons.
std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> layout() {
    std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> result;
    for (const DirEntry& e : directory_list)
        result.emplace_back(e.start, e.size, e.empty ? "" : e.full_name);
    return result;
}

} // namespace

TEST_F(FreeSpaceTest, BestFitSplitsTheSmallestAreaThatHoldsTheFile) {
    ImageBuilder b(400);
    b.empty(4).file(named("A", 0)).empty(3).file(named("B", 0));
    open_image(b);
    read_directory();
    PlaceResult r = place_in_free_space(500);
    ASSERT_EQ(r.status, Placement::placed);
    EXPECT_EQ(r.entry->start, 207);
    EXPECT_EQ(r.entry->size, 512);
    EXPECT_TRUE(r.entry->empty);
    auto rest = std::next(r.entry);
    EXPECT_TRUE(rest->empty);
    EXPECT_EQ(rest->start, 210);
    EXPECT_EQ(rest->size, 0);
    EXPECT_EQ(entries_used(), 6);
}

TEST_F(FreeSpaceTest, EqualAreasTakeTheFirstAndExactFitsNeedNoEntry) {
    ImageBuilder b(400);
    b.empty(2).file(named("A", 0)).empty(2).file(named("B", 0));
    open_image(b);
    read_directory();
    auto before = entries_used();
    PlaceResult r = place_in_free_space(512);
    ASSERT_EQ(r.status, Placement::placed);
    EXPECT_EQ(r.entry->start, 201);
    EXPECT_EQ(entries_used(), before);
}

TEST_F(FreeSpaceTest, FullDiskAndFullDirectory) {
    // 240 entries in 8 blocks: 239 files of 0 words and one EMPTY area at the end.
    ImageBuilder b(600);
    for (int i = 0; i < 239; ++i)
        b.file(named("F" + std::to_string(i), 0));
    open_image(b);
    read_directory();
    ASSERT_EQ(entries_used(), 240);
    std::int64_t area = directory_list.back().size;
    EXPECT_EQ(place_in_free_space(area + 1).status, Placement::disk_full);
    EXPECT_EQ(place_in_free_space(area - 256).status, Placement::directory_full);
    EXPECT_STREQ(placement_message(Placement::directory_full), "DIRECTORY FULL");
    EXPECT_STREQ(placement_message(Placement::disk_full), "DISK FULL");
    EXPECT_EQ(entries_used(), 240);
    PlaceResult exact = place_in_free_space(area - 255);
    EXPECT_EQ(exact.status, Placement::placed);
    EXPECT_EQ(entries_used(), 240);
}

TEST_F(FreeSpaceTest, ReleaseMarksTheSectorDeletedAndRoundsTheSize) {
    FileSpec f = named("OLD", 300);
    f.comment = "kept";
    open_image(ImageBuilder(400).file(f));
    read_directory();
    DirEntry& e = directory_list.front();
    release_entry(e);
    EXPECT_TRUE(e.empty);
    EXPECT_EQ(e.full_name, "");
    EXPECT_EQ(e.attributes, 0u);
    EXPECT_EQ(e.size, 512);
    EXPECT_EQ(e.start, 201);
    EXPECT_FALSE(e.sector);
    auto image = bytes();
    EXPECT_EQ(test::get24(image, 200 * 768) & 0xFFFFFF, test::DELETED_MAGIC);
    // The rest still describes the file.
    DirEntry probe;
    probe.start = 201;
    read_directory_sector(probe, image_fd, false);
    ASSERT_TRUE(probe.sector);
    EXPECT_EQ(probe.sector->full_name, "OLD");
    EXPECT_EQ(probe.sector->size, 300);
    EXPECT_EQ(probe.sector->comment, "kept");
}

TEST_F(FreeSpaceTest, ReleaseWithoutAUsableSectorWritesNothing) {
    FileSpec f = named("BAD", 10);
    f.sector_size_word = 11;
    open_image(ImageBuilder(400).file(f));
    auto before = bytes();
    read_directory();
    EXPECT_EQ(errors_of([] { release_entry(directory_list.front()); }),
              "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD\n");
    EXPECT_TRUE(directory_list.front().empty);
    EXPECT_EQ(bytes(), before);
}

TEST_F(FreeSpaceTest, RestoreSplitsMergedNeighboursBackAndRewritesTheSector) {
    for (bool first : {true, false}) {
        FileSpec f = named("OLD", 300);
        f.date = test::bcd3(3, 4, 5);
        f.sector_tail = std::vector<std::uint8_t>(10, 7);
        ImageBuilder b(400);
        if (first) {
            b.file(f).empty(3).file(named("NEXT", 1));
        } else {
            b.file(named("PREV", 1)).empty(2).file(f).empty(3).file(named("NEXT", 1));
        }
        open_image(b);
        auto before_bytes = bytes();
        read_directory();
        auto before = layout();
        auto old = std::find_if(directory_list.begin(), directory_list.end(),
                                [](const DirEntry& e) { return e.full_name == "OLD"; });
        ReleasedFile released = release_entry(*old);
        tidy_directory();
        EXPECT_LT(entries_used(), static_cast<std::int64_t>(before.size()));
        restore_released(released);
        EXPECT_EQ(layout(), before);
        EXPECT_EQ(bytes(), before_bytes);
    }
}
