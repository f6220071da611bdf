// A fixture for in-process tests of the directory routines: an image file made by the
// test-side builder, opened as the disk image of the run.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/run.h"
#include "veltool/image/directory.h"
#include "veltool/report.h"
#include "veltool/state.h"

namespace test {

class ImageTest : public testing::Test {
  protected:
    void TearDown() override {
        if (veltool::image_fd >= 0) close(veltool::image_fd);
        veltool::image_fd = -1;
        veltool::free_directory_list();
    }

    void open_image(const std::vector<std::uint8_t>& bytes) {
        write_file(path(), bytes);
        if (veltool::image_fd >= 0) close(veltool::image_fd);
        veltool::image_fd = open(path().c_str(), O_RDWR);
        ASSERT_GE(veltool::image_fd, 0);
    }
    void open_image(const ImageBuilder& builder) { open_image(builder.build()); }

    // Runs f and returns what it printed on standard error.
    template <class F>
    std::string errors_of(F f) {
        testing::internal::CaptureStderr();
        f();
        return testing::internal::GetCapturedStderr();
    }
    // Runs f, which must end in fatal, and returns what it printed.
    template <class F>
    std::string fatal_of(F f) {
        testing::internal::CaptureStderr();
        bool ended = false;
        try {
            f();
        } catch (const veltool::FatalExit&) {
            ended = true;
        }
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(ended) << text;
        return text;
    }

    std::string path() const { return dir.file("disk.img"); }
    std::vector<std::uint8_t> bytes() const { return read_file(path()); }

    TempDir dir;
};

} // namespace test
