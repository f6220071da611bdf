// The directory of an image: the input lies from sector 191 on (disk comment, directory
// blocks, then the files), and is read, verified, tidied, listed and written back.
#include <cstdint>
#include <unistd.h>

#include "fuzz/fuzz_support.h"
#include "veltool/image/directory.h"
#include "veltool/image/layout.h"
#include "veltool/report.h"
#include "veltool/state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fd = fuzz::memory_file(data, size, 191 * veltool::SECTOR_BYTES);
    if (fd < 0) return 0;
    const std::string image = fuzz::path_of(fd);
    fuzz::run_veltool({"VELDIR", "-d", image, "-o", "F"});
    fuzz::run_veltool({"VELSDI", "-d", image, "-m", "-o", "B"});
    fuzz::run_veltool({"VELSDI", "-d", image, "-t", "-w"});
    fuzz::run_veltool({"VELDDI", "-d", image, "-o", "N"});
    veltool::image_fd = fd;
    try {
        veltool::read_directory();
        veltool::verify_directory();
        veltool::write_directory();
        veltool::free_directory_list();
        veltool::read_directory();
    } catch (const veltool::FatalExit&) {
    }
    veltool::free_directory_list();
    veltool::image_fd = -1;
    close(fd);
    return 0;
}
