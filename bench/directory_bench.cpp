// Speed of the directory routines on the largest directories and free areas.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "tests/support/disk.h"
#include "tests/support/run.h"
#include "veltool/files/free_space.h"
#include "veltool/image/directory.h"
#include "veltool/state.h"

namespace {

// An image with a full directory of 256 blocks: 7679 small files and a free area.
struct FullDirectory {
    test::TempDir dir;
    FullDirectory() {
        test::ImageBuilder builder(20000, 256);
        for (int i = 0; i < 7679; ++i) {
            test::FileSpec f;
            f.name = "F" + std::to_string(i);
            f.words = 10;
            builder.file(f);
        }
        test::write_file(dir.file("full.img"), builder.build());
        veltool::image_fd = open(dir.file("full.img").c_str(), O_RDWR);
    }
    ~FullDirectory() {
        close(veltool::image_fd);
        veltool::image_fd = -1;
    }
};

void read_full_directory(benchmark::State& state) {
    FullDirectory image;
    for (auto _ : state) {
        veltool::read_directory();
        benchmark::DoNotOptimize(veltool::entries_used());
    }
}
BENCHMARK(read_full_directory)->Unit(benchmark::kMillisecond);

void write_full_directory(benchmark::State& state) {
    FullDirectory image;
    veltool::read_directory();
    for (auto _ : state)
        veltool::write_directory();
}
BENCHMARK(write_full_directory)->Unit(benchmark::kMillisecond);

void place_in_full_directory(benchmark::State& state) {
    FullDirectory image;
    veltool::read_directory();
    for (auto _ : state)
        benchmark::DoNotOptimize(veltool::place_in_free_space(1).status);
}
BENCHMARK(place_in_full_directory)->Unit(benchmark::kMicrosecond);

// The search for deleted files reads every sector of a free area: here 100000 sectors.
void search_free_area(benchmark::State& state) {
    test::TempDir dir;
    test::ImageBuilder builder(100000 + 8 + 217, 8);
    test::write_file(dir.file("free.img"), builder.build());
    veltool::image_fd = open(dir.file("free.img").c_str(), O_RDWR);
    for (auto _ : state) {
        int found = 0;
        for (std::int64_t s = 201; s <= 201 + 100000; ++s)
            found += veltool::deleted_file_at(s, 201 + 100000) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    close(veltool::image_fd);
    veltool::image_fd = -1;
}
BENCHMARK(search_free_area)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
