// A data file read out of a disk image by veltool, with its directory sector, is a parmdump
// input: the directory sector is the parameter sector.
#include <gtest/gtest.h>

#include "tests/parmdump/samples.h"

TEST(FromImage, FileReadOutByVeltoolGivesTheFullReport) {
    const test::ParameterSector parameters = test::fendar_sector();
    const std::vector<std::uint8_t>& sector = parameters.bytes();
    test::FileSpec file_spec;
    file_spec.name = "SPECTRUM";
    file_spec.ext = "FID";
    file_spec.words = 8192;
    file_spec.attributes = 8 | 3 << 8 | 1 << 15 | 1 << 18 | 1 << 19;
    file_spec.date = test::bcd3(24, 12, 99);
    file_spec.tag = "RUN1";
    file_spec.comment = "PROTON 1D TEST";
    file_spec.sector_tail.assign(sector.begin() + 120, sector.end());
    test::TempDir dir;
    test::ImageBuilder(600).file(file_spec).write(dir.file("disk.img"));

    auto read = test::run_vel("REA", {"-d", dir.file("disk.img"), "-f", dir.path() + "/", "SPECTRUM.FID"});
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(test::read_file(dir.file("SPECTRUM.FID")).size(), 768u + 3 * 8192);
    auto report = test::run_parmdump({dir.file("SPECTRUM.FID")});
    EXPECT_EQ(report.status, 0);
    test::expect_lines(report.out, test::FENDAR_REPORT);
}
