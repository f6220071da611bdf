// The directory of an image: the input lies from sector 191 on (disk comment, directory
// blocks, then the files), and is read, verified, tidied, listed and written back.
#include <cstdint>
#include <unistd.h>

#include "fuzz/fuzz_support.h"
#include "veltool/image/directory.h"
#include "veltool/image/image.h"
#include "veltool/image/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fd = fuzz::memory_file(data, size, 191 * veltool::SECTOR_BYTES);
    if (fd < 0) return 0;
    const std::string image = fuzz::path_of(fd);
    fuzz::run_veltool({"VELDIR", "-d", image, "-o", "F"});
    fuzz::run_veltool({"VELSDI", "-d", image, "-m", "-o", "B"});
    fuzz::run_veltool({"VELSDI", "-d", image, "-t", "-w"});
    fuzz::run_veltool({"VELDDI", "-d", image, "-o", "N"});
    veltra::KeepingReporter reporter;
    veltool::Image opened(reporter, stdout);
    opened.image_fd = veltool::FileDescriptor(fd);
    try {
        veltool::read_directory(opened);
        veltool::verify_directory(opened);
        veltool::write_directory(opened);
        veltool::free_directory_list(opened);
        veltool::read_directory(opened);
    } catch (const veltra::Error&) {
    }
    return 0;
}
