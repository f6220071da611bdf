#include "velmount/command_line.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "veltool/image/image.h"
#include "veltool/image/io.h"
#include "veltool/image/records.h"

namespace velmount {

namespace {

constexpr const char* USAGE = "usage: velmount [-o form=B|D|A|P] [-o force] [-f] disk.img MOUNTPOINT";

std::string system_error(int error) {
    return std::strerror(error);
}

// One -o word: ours are taken, the others are handed to the mount.
void take_option(const std::string& option, MountOptions& options) {
    if (option == "force") {
        options.force = true;
    } else if (option.rfind("form=", 0) == 0) {
        std::string letter = option.substr(5);
        if (letter.size() != 1 || std::strchr("BDAP", std::toupper(letter[0])) == nullptr)
            throw StartError("velmount: unknown form \"" + letter + "\" (B, D, A or P)");
        options.form = static_cast<char>(std::toupper(letter[0]));
    } else if (!option.empty()) {
        options.fuse_options.push_back(option);
    }
}

void take_options(const std::string& text, MountOptions& options) {
    std::size_t from = 0;
    for (std::size_t comma; (comma = text.find(',', from)) != std::string::npos; from = comma + 1)
        take_option(text.substr(from, comma - from), options);
    take_option(text.substr(from), options);
}

} // namespace

MountOptions parse_command_line(int argc, char** argv) {
    MountOptions options;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "-f") {
            options.foreground = true;
        } else if (word == "-o" && i + 1 < argc) {
            take_options(argv[++i], options);
        } else if (word.rfind("-o", 0) == 0 && word.size() > 2) {
            take_options(word.substr(2), options);
        } else if (!word.empty() && word[0] == '-') {
            throw StartError(std::string(USAGE));
        } else {
            words.push_back(word);
        }
    }
    if (words.size() != 2) throw StartError(USAGE);
    options.image = words[0];
    options.mount_point = words[1];
    return options;
}

void open_image(veltool::Image& image, const std::string& path) {
    image.path = path;
    image.image_fd = veltool::FileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!image.image_fd.is_open())
        throw StartError("velmount: cannot open disk image " + path + ": " + system_error(errno));
    // A change cut short is rolled back before anything is read; the mount locks only per read.
    veltool::roll_back_interrupted_change(image);
    veltool::unlock_file(image.fd());
    veltool::Byte header[veltool::DIRECTORY_HEADER_BYTES];
    veltool::Transfer got =
        veltool::try_read_at(image.fd(), veltool::DIRECTORY_OFFSET, header, sizeof header);
    std::int64_t blocks = veltool::decode_directory_header(header).blocks;
    if (got.count != sizeof header || blocks < veltool::MIN_DIRECTORY_BLOCKS ||
        blocks > veltool::MAX_DIRECTORY_BLOCKS)
        throw StartError("velmount: " + path + " is not a VELTRA disk image (no directory found)");
}

void check_mount_point(const std::string& path) {
    struct stat point {};
    struct stat parent {};
    if (stat(path.c_str(), &point) != 0) {
        if (errno == ENOTCONN)
            throw StartError("velmount: mount point " + path + " is busy: a mount there has ended");
        throw StartError("velmount: mount point " + path + ": " + system_error(errno));
    }
    if (!S_ISDIR(point.st_mode))
        throw StartError("velmount: mount point " + path + ": " + system_error(ENOTDIR));
    if (stat((path + "/..").c_str(), &parent) == 0 &&
        (parent.st_dev != point.st_dev || parent.st_ino == point.st_ino))
        throw StartError("velmount: mount point " + path + " is busy: something is mounted there");
}

void check_fuse_device() {
    int fd = open("/dev/fuse", O_RDWR);
    if (fd < 0)
        throw StartError("velmount: no FUSE on this machine: cannot open /dev/fuse: " + system_error(errno));
    close(fd);
}

} // namespace velmount
