#include "veltool/image/image.h"

#include <cerrno>
#include <fcntl.h>

#include "veltool/image/io.h"
#include "veltool/report.h"

namespace veltool {

bool open_image(Image& image, const std::string& path) {
    image.path = path;
    image.image_fd = kavolt::FileDescriptor(open(path.c_str(), O_RDWR | O_CLOEXEC));
    image.writable = image.image_fd.is_open();
    if (!image.writable) image.image_fd = kavolt::FileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!image.image_fd.is_open()) fatal(errno, "cannot open VELTRA disk image %s", path.c_str());
    return image.writable;
}

void lock_image(Image& image, LockMode mode) {
    if (!lock_file(image.fd(), mode, IMAGE_LOCK_WAIT_MS))
        fatal(0, "disk image %s is in use by another program", image.path.c_str());
    image.lock = mode;
}

void hold_image(Image& image, const std::string& path, ImageUse use) {
    bool writable = open_image(image, path);
    bool exclusive = use != ImageUse::reads && writable;
    lock_image(image, exclusive ? LockMode::exclusive : LockMode::shared);
}

void write_image(Image& image, std::int64_t offset, const void* bytes, std::size_t n,
                 const char* write_message) {
    Transfer done = try_write_at(image.fd(), offset, bytes, n);
    if (image.current_scan != nullptr) image.current_scan->written(offset, bytes, done.count);
    if (!done.sought || done.count != n) fatal_transfer(done, "cannot seek disk image", write_message);
}

} // namespace veltool
