#include "veltool/frontend.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include "veltool/commands.h"
#include "veltool/options.h"
#include "veltool/report.h"
#include "veltool/state.h"

namespace veltool {

int image_fd = -1;
int sort_direction = 1;

namespace {

// Closes the image however the run ends.
struct ImageCloser {
    ~ImageCloser() {
        if (image_fd >= 0) close(image_fd);
        image_fd = -1;
    }
};

void open_image(const std::string& path) {
    image_fd = open(path.c_str(), O_RDWR);
    if (image_fd < 0) image_fd = open(path.c_str(), O_RDONLY);
    if (image_fd < 0) fatal(errno, "cannot open VELTRA disk image %s", path.c_str());
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
    sort_direction = 1;
    ImageCloser closer;
    Options options = parse_options(argc, argv);
    if (options.disk_image.empty()) fatal(0, "VELTRA disk image filename not specified");
    const Command* command = find_command(options.command);
    if (strncasecmp(options.command.c_str(), "new", 3) != 0) open_image(options.disk_image);
    if (command == nullptr) fatal(0, "illegal command \"%s\"", options.command.c_str());
    command->handler(options);
}

} // namespace

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
