#include "veltool/frontend.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "veltool/commands.h"
#include "veltool/image/io.h"
#include "veltool/options.h"
#include "veltool/report.h"
#include "veltool/state.h"

namespace veltool {

int image_fd = -1;

namespace {

// Closes the image however the run ends.
struct ImageCloser {
    ~ImageCloser() {
        if (image_fd >= 0) close(image_fd);
        image_fd = -1;
    }
};

// Standard output is the host file of the listings and of lis: a write that failed there
// ends the run as any other failed write does.
void finish_output() {
    int error = std::fflush(stdout) != 0 ? errno : 0;
    if (error != 0 || std::ferror(stdout)) fatal(error, "cannot write standard output");
}

// Without TZ the C library looks at the system's time-zone file again on every mktime, one
// stat per date converted; naming that same file in TZ lets it be read once.
void settle_time_zone() {
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
    tzset();
}

void run(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    settle_time_zone();
    ImageCloser closer;
    Options options = parse_options(argc, argv);
    if (options.disk_image.empty()) fatal(0, "VELTRA disk image filename not specified");
    const Command* command = find_command(options.command);
    if (command == nullptr) {
        open_image(options.disk_image);
        fatal(0, "illegal command \"%s\"", options.command.c_str());
    }
    if (command->use != ImageUse::creates) hold_image(options.disk_image, command->use);
    command->handler(options);
    if (command->use != ImageUse::reads) flush_image();
    finish_output();
}

} // namespace

bool open_image(const std::string& path) {
    image_fd = open(path.c_str(), O_RDWR);
    if (image_fd >= 0) return true;
    image_fd = open(path.c_str(), O_RDONLY);
    if (image_fd < 0) fatal(errno, "cannot open VELTRA disk image %s", path.c_str());
    return false;
}

void lock_image(int fd, const std::string& path, LockMode mode) {
    if (!lock_file(fd, mode, IMAGE_LOCK_WAIT_MS))
        fatal(0, "disk image %s is in use by another program", path.c_str());
}

void hold_image(const std::string& path, ImageUse use) {
    bool writable = open_image(path);
    bool exclusive = use != ImageUse::reads && writable;
    lock_image(image_fd, path, exclusive ? LockMode::exclusive : LockMode::shared);
}

int run_veltool(int argc, char** argv) {
    try {
        run(argc, argv);
    } catch (const FatalExit&) {
        std::fflush(stdout);
        return 1;
    }
    std::fflush(stdout);
    return 0;
}

} // namespace veltool
