// The image builder is the yardstick of many tests; check its layout against hand-counted bytes.
#include "tests/support/image_builder.h"

#include <gtest/gtest.h>

#include "tests/support/run.h"

using namespace test;

TEST(ImageBuilder, DirectoryBlocksEntriesAndSectors) {
    FileSpec prog;
    prog.name = "PROG";
    prog.ext = "SAV";
    prog.tag = "T1";
    prog.words = 257;
    prog.data = {1, 2, 3};
    prog.date = bcd3(24, 12, 99);
    prog.comment = "hello";
    ImageBuilder builder(300, 8, bcd3(1, 2, 3));
    builder.comment("DISK").file(prog).empty(2);
    auto image = builder.build();
    ASSERT_EQ(image.size(), 300u * 768);

    const std::size_t dir = 192 * 768;
    EXPECT_EQ(get24(image, dir), 0300);
    EXPECT_EQ(get24(image, dir + 3), 0301);
    EXPECT_EQ(get24(image, dir + 6), 3); // PROG, EMPTY, and the rest as EMPTY
    EXPECT_EQ(get24(image, dir + 9), 0x010203);
    EXPECT_EQ(get24(image, dir + 15), 8);
    EXPECT_EQ(get24(image, dir + 18), 300);
    EXPECT_EQ(get24(image, dir + 7 * 768 + 3), -1); // last block ends the chain

    // Entry 1: PROG.SAV at N + 193 = 201, 257 words = 2 data sectors.
    EXPECT_EQ(get24(image, dir + 48), (16 << 18) | (18 << 12) | (15 << 6) | 7);
    EXPECT_EQ(get24(image, dir + 48 + 9), 201);
    EXPECT_EQ(get24(image, dir + 48 + 12), 257);
    EXPECT_EQ(get24(image, dir + 48 + 15) & 0xFFFFFF, 070000000);
    // Entry 2: EMPTY of 2 sectors at 204; entry 3: the rest, 207 ... 275 = 300 - 25.
    EXPECT_EQ(get24(image, dir + 72), -1);
    EXPECT_EQ(get24(image, dir + 72 + 9), 204);
    EXPECT_EQ(get24(image, dir + 72 + 12), -2);
    EXPECT_EQ(get24(image, dir + 96 + 9), 207);
    EXPECT_EQ(get24(image, dir + 96 + 12), -(275 - 207 + 1));
    EXPECT_EQ(builder.start_of(2), 207);

    const std::size_t sector = 200 * 768;
    EXPECT_EQ(get24(image, sector), 021702365);
    EXPECT_EQ(get24(image, sector + 12), 201);
    EXPECT_EQ(get24(image, sector + 30), 0x241299);
    EXPECT_EQ(image[sector + 48], 'h' | 0x80);
    EXPECT_EQ(image[201 * 768 + 2], 3);
    EXPECT_EQ(image[191 * 768], 'D' | 0x80);
}

TEST(ImageBuilder, DeletedFilesAndSparseWrite) {
    FileSpec old;
    old.name = "OLD";
    old.words = 10;
    ImageBuilder builder(2000, 16);
    builder.empty(50).deleted(3, old);
    TempDir dir;
    builder.write(dir.file("x.img"));
    auto image = read_file(dir.file("x.img"));
    ASSERT_EQ(image.size(), 2000u * 768);
    EXPECT_EQ(image, builder.build());
    // The EMPTY entry starts at 16 + 193 = 209; its directory sector is 208; the deleted
    // file's directory sector is 3 sectors further.
    EXPECT_EQ(get24(image, 211 * 768), 017052376);
    EXPECT_EQ(get24(image, 211 * 768 + 12), 212);
}
