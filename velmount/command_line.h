// The velmount command line and the checks made before anything is mounted.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "veltool/image/image.h"

namespace velmount {

// Ends velmount before anything is mounted: its text is the one line on standard error.
struct StartError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct MountOptions {
    std::string image;
    std::string mount_point;
    char form = 'B';                       // host form letter: B, D, A or P
    bool force = false;                    // -o force: mount a directory that fails verification
    bool foreground = false;               // -f
    std::vector<std::string> fuse_options; // other -o options, handed to the mount
};

// velmount [-o form=B|D|A|P] [-o force] [-f] disk.img MOUNTPOINT; -o options may also be
// joined with commas.
MountOptions parse_command_line(int argc, char** argv);

// Opens the image read-only as the library's image and makes sure it has a VELTRA directory
// header; the mount point must be a folder with nothing mounted on it, and the machine must
// have FUSE.
void open_image(veltool::Image& image, const std::string& path);
void check_mount_point(const std::string& path);
void check_fuse_device();

} // namespace velmount
