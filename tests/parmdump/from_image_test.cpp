// A data file read out of a disk image by veltool, with its directory sector, is a parmdump
// input: the directory sector is the parameter sector.
#include <gtest/gtest.h>

#include "tests/parmdump/samples.h"

TEST(FromImage, FileReadOutByVeltoolGivesTheFullReport) {
    const test::ParameterSector parameters = test::fendar_sector();
    const std::vector<std::uint8_t>& sector = parameters.bytes();
    test::FileSpec spec;
    spec.name = "SPECTRUM";
    spec.ext = "FID";
    spec.words = 8192;
    spec.attributes = 8 | 3 << 8 | 1 << 15 | 1 << 18 | 1 << 19;
    spec.date = test::bcd3(24, 12, 99);
    spec.tag = "RUN1";
    spec.comment = "PROTON 1D TEST";
    spec.sector_tail.assign(sector.begin() + 120, sector.end());
    test::TempDir dir;
    test::ImageBuilder(600).file(spec).write(dir.file("disk.img"));

    auto read = test::run_vel("REA", {"-d", dir.file("disk.img"), "-f", dir.path() + "/", "SPECTRUM.FID"});
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(test::read_file(dir.file("SPECTRUM.FID")).size(), 768u + 3 * 8192);
    auto report = test::run_parmdump({dir.file("SPECTRUM.FID")});
    EXPECT_EQ(report.status, 0);
    test::expect_lines(report.out, test::FENDAR_REPORT);
}
