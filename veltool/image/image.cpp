#include "veltool/image/image.h"

#include <cerrno>
#include <fcntl.h>

#include "veltool/image/io.h"
#include "veltool/image/journal.h"
#include "veltool/report.h"

namespace veltool {

bool open_image(Image& image, const std::string& path) {
    image.path = path;
    image.image_fd = kavolt::FileDescriptor(open(path.c_str(), O_RDWR | O_CLOEXEC));
    image.writable = image.image_fd.is_open();
    image.write_refused = image.writable ? 0 : errno;
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
    roll_back_interrupted_change(image);
}

void roll_back_interrupted_change(Image& image) {
    if (!journal_exists(image.path)) return;
    // An image open for reading only is played back through a descriptor of its own.
    FileDescriptor own;
    int fd = image.fd();
    if (!image.writable) {
        own = FileDescriptor(open(image.path.c_str(), O_RDWR | O_CLOEXEC));
        int error = errno;
        if (!own.is_open() && !roll_back_left_journal(image.path, image.fd(), false, error)) return;
        fd = own.get();
    }
    // Readers that meet the journal at once let go of their shared locks first, so that one of
    // them gets the exclusive lock; the others find the journal gone when they get it.
    bool relock = fd != image.fd() || image.lock != LockMode::exclusive;
    auto hold_again = [&] {
        if (!relock) return;
        own.close();
        lock_image(image, image.lock);
    };
    if (relock) {
        unlock_file(image.fd());
        if (!lock_file(fd, LockMode::exclusive, IMAGE_LOCK_WAIT_MS))
            fatal(0, "disk image %s is in use by another program", image.path.c_str());
    }
    bool rolled_back = false;
    try {
        rolled_back = roll_back_left_journal(image.path, fd, true, 0);
    } catch (...) {
        hold_again();
        throw;
    }
    hold_again();
    if (rolled_back)
        warn(image, 0, "disk image %s: an interrupted change was rolled back", image.path.c_str());
}

void run_change(Image& image, const std::function<void()>& work) {
    image.journal.reset();
    // An image that cannot be written needs no journal: none of its bytes can change.
    if (image.writable && !journal_switched_off()) image.journal.emplace(image.path, image.fd());
    image.empty_areas_exempt = false;
    // What was written stays written, an error or not: the journal only rolls back a change
    // that a crash cut short.
    auto finish = [&image] {
        flush_image(image);
        if (image.journal) image.journal->commit();
        image.journal.reset();
    };
    try {
        work();
    } catch (...) {
        try {
            finish();
        } catch (...) {
            image.journal.reset(); // the journal stays on the disk for the next program
        }
        throw;
    }
    try {
        finish();
    } catch (...) {
        image.journal.reset();
        throw;
    }
}

void journal_write(Image& image, std::int64_t offset, std::int64_t n, bool always) {
    if (image.journal) image.journal->before_write(offset, n, always);
}

void write_image(Image& image, std::int64_t offset, const void* bytes, std::size_t n,
                 const char* write_message) {
    write_image(image, offset, bytes, n, [write_message](std::int64_t) { return write_message; });
}

void write_image(Image& image, std::int64_t offset, const void* bytes, std::size_t n,
                 const std::function<const char*(std::int64_t stopped_at)>& write_message) {
    journal_write(image, offset, static_cast<std::int64_t>(n));
    Transfer done = try_write_at(image.fd(), offset, bytes, n);
    if (image.current_scan != nullptr) image.current_scan->written(offset, bytes, done.count);
    if (!done.sought || done.count != n) {
        std::int64_t stopped_at = offset + static_cast<std::int64_t>(done.count);
        fatal_write(done, image_end(image, offset, write_message(stopped_at)));
    }
}

CopyEnd image_end(Image& image, std::int64_t offset, const char* write_message) {
    return CopyEnd{image.fd(),
                   offset,
                   "cannot seek disk image",
                   write_message,
                   image.current_scan,
                   image.write_refused,
                   image.journal ? &*image.journal : nullptr};
}

} // namespace veltool
