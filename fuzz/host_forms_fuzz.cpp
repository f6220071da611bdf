// The host forms of wri: the first byte picks the form, the rest is the host file. It goes
// into a fresh image and is read out again in the same form (by the name HOST.DAT alone: a
// name taken from the input could point anywhere on the host).
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "veltool/image/io.h"

namespace {

// A fresh image of 400 sectors, made once by new.
const std::vector<std::uint8_t>& fresh_image() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::string path = fuzz::scratch() + "/fresh.img";
        fuzz::run_veltool({"VELNEW", "-d", path, "-o", "F", "-b", "8", "-c", "FUZZ", "400"});
        veltool::FileDescriptor fd(open(path.c_str(), O_RDONLY));
        std::vector<std::uint8_t> image(static_cast<std::size_t>(veltool::file_size(fd.get(), "")));
        veltool::read_at(fd.get(), 0, image.data(), image.size(), "", "");
        return image;
    }();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const forms[] = {"", "O", "D", "A", "B", "P", "AP", "DP", "AV", "OB"};
    if (size == 0) return 0;
    std::string letters = forms[data[0] % (sizeof forms / sizeof *forms)];
    const std::vector<std::uint8_t>& image = fresh_image();
    int fd = fuzz::memory_file(image.data(), image.size());
    if (fd < 0) return 0;
    std::string host = fuzz::scratch() + "/HOST.DAT";
    fuzz::write_host_file(host, data + 1, size - 1);
    if (fuzz::run_veltool({"VELWRI", "-d", fuzz::path_of(fd), "-o", letters + "F", host}) == 0)
        fuzz::run_veltool(
            {"VELREA", "-d", fuzz::path_of(fd), "-o", letters, "-f", fuzz::scratch() + "/out.", "HOST.DAT"});
    close(fd);
    return 0;
}
