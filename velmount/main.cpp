// velmount: mounts a VELTRA disk image read-only, each of its files a regular file of the
// mount's one folder, in the host form of rea.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "common/help.h"
#include "velmount/command_line.h"
#include "velmount/help.h"
#include "velmount/mounted_image.h"
#include "velmount/operations.h"
#include "veltra/error.h"

namespace velmount {

namespace {

// What the mount library says while velmount starts, kept for velmount's own line; once
// the mount runs it goes to standard error.
std::string library_messages;
bool mount_running = false;

void keep_message(fuse_log_level, const char* format, va_list args) {
    if (mount_running) {
        std::vfprintf(stderr, format, args);
        return;
    }
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    library_messages += text;
}

// The library's messages in one line after velmount's own words.
std::string failure(const std::string& what) {
    std::string said;
    for (char c : library_messages)
        said += c == '\n' ? ' ' : c;
    while (!said.empty() && said.back() == ' ')
        said.pop_back();
    return "velmount: " + what + (said.empty() ? "" : ": " + said);
}

// The mount's own options: read-only, permissions checked by the kernel, the image named.
std::string mount_option_text(const MountOptions& options) {
    std::string name;
    for (char c : options.image) {
        if (c == ',' || c == '\\') name += '\\';
        name += c;
    }
    std::string text = "ro,default_permissions,subtype=velmount,fsname=" + name;
    for (const std::string& option : options.fuse_options)
        text += "," + option;
    return text;
}

// Mounts, goes to the background unless -f, and serves until unmounted.
int serve(const MountOptions& options, MountedImage& image) {
    fuse_operations operations = mount_operations();
    std::string option_text = mount_option_text(options);
    std::vector<char*> argv{const_cast<char*>("velmount"), const_cast<char*>("-o"), option_text.data()};
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    fuse* session = fuse_new(&args, &operations, sizeof operations, &image);
    fuse_opt_free_args(&args); // what the library added to them
    if (session == nullptr) throw StartError(failure("cannot set up the mount"));
    if (fuse_mount(session, options.mount_point.c_str()) != 0) {
        fuse_destroy(session);
        throw StartError(failure("cannot mount on " + options.mount_point));
    }
    mount_running = true;
    int status = 1;
    if (fuse_daemonize(options.foreground ? 1 : 0) == 0 &&
        fuse_set_signal_handlers(fuse_get_session(session)) == 0) {
        status = fuse_loop(session) < 0 ? 1 : 0;
        fuse_remove_signal_handlers(fuse_get_session(session));
    }
    fuse_unmount(session);
    fuse_destroy(session);
    return status;
}

int run(int argc, char** argv) {
    fuse_set_log_func(keep_message);
    try {
        MountOptions options = parse_command_line(argc, argv);
        MountedImage image;
        velmount::open_image(image.disk, options.image);
        check_mount_point(options.mount_point);
        check_fuse_device();
        image.form = veltool::host_form_of(std::string(1, options.form));
        image.force = options.force;
        try {
            load_files(image);
        } catch (const MountError& e) {
            throw StartError("velmount: disk image " + options.image +
                             (e.error == EBUSY ? " is in use by another program"
                                               : ": " + std::string(std::strerror(e.error))));
        }
        return serve(options, image);
    } catch (const StartError& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (const veltra::Error& e) {
        MountReporter::print_error(e.what(), e.errnum());
    }
    return 1;
}

} // namespace

} // namespace velmount

int main(int argc, char** argv) {
    if (kavolt::answer_help_request(argc, argv, "velmount", [] { return std::string(velmount::HELP); }))
        return 0;
    return velmount::run(argc, argv);
}
