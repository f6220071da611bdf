#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

#include "veltool/frontend.h"

namespace fuzz {

int memory_file(const std::uint8_t* data, std::size_t size, std::int64_t offset) {
    int fd = memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0) return -1;
    bool written =
        ftruncate(fd, static_cast<off_t>(offset + static_cast<std::int64_t>(size))) == 0 &&
        (size == 0 || pwrite(fd, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size));
    if (!written) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string path_of(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

const std::string& scratch() {
    static const std::string path = [] {
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz.XXXXXX" : "/tmp/fuzz.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        return pattern;
    }();
    // Registered once the path is made, so that it runs before the path is destroyed.
    [[maybe_unused]] static const int removal = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    });
    return path;
}

void write_host_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    if (size != 0 && write(fd, data, size) != static_cast<ssize_t>(size))
        throw std::runtime_error("short write");
    close(fd);
}

int run_veltool(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = arguments;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return veltool::run_veltool(static_cast<int>(words.size()), argv.data());
}

} // namespace fuzz
