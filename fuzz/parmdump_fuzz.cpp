// parmdump on arbitrary file bytes. The first byte: bit 0 set puts a parameter file p_data
// beside the data file, its length in the next two bytes (least significant first) being
// that of the data file; bits 1-2 pick the program name, which decides unknown data.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "parmdump/parmdump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const names[] = {"parmdump", "fendump", "torgil", "fengil"};
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    ++data;
    --size;
    std::size_t data_size = size;
    const std::string path = fuzz::scratch() + "/data";
    const std::string parameters = fuzz::scratch() + "/p_data";
    std::remove(parameters.c_str());
    if ((flags & 1) != 0 && size >= 2) {
        data_size = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
        data += 2;
        size -= 2;
        fuzz::write_host_file(parameters, data + data_size, size - data_size);
    }
    fuzz::write_host_file(path, data, data_size);
    std::string program = names[(flags >> 1) & 3];
    std::vector<char*> argv{program.data(), const_cast<char*>(path.c_str()), nullptr};
    parmdump::run_parmdump(2, argv.data());
    std::fflush(stdout);
    return 0;
}
