// What the fuzz targets share: inputs as files, and whole runs of the programs in process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// A file in memory (memfd_create) holding `size` bytes of data from byte `offset` on, zeros
// before; its descriptor, or -1 when none could be made.
int memory_file(const std::uint8_t* data, std::size_t size, std::int64_t offset = 0);

// The path under which the program can open the file on fd once more.
std::string path_of(int fd);

// A scratch directory for host files, made once per process and removed at its exit.
const std::string& scratch();
void write_host_file(const std::string& path, const std::uint8_t* data, std::size_t size);

// One veltool run with these arguments (argv[0] included).
int run_veltool(const std::vector<std::string>& arguments);

} // namespace fuzz
