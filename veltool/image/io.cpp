#include "veltool/image/io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "veltool/image/layout.h"
#include "veltool/report.h"
#include "veltool/state.h"

namespace veltool {

Transfer try_read_at(int fd, std::int64_t offset, void* buffer, std::size_t n) {
    Transfer result;
    if (lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(-1)) {
        result.sought = false;
        result.error = errno;
        return result;
    }
    auto* bytes = static_cast<char*>(buffer);
    while (result.count < n) {
        ssize_t got = read(fd, bytes + result.count, n - result.count);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result.error = errno;
            break;
        }
        if (got == 0) break;
        result.count += static_cast<std::size_t>(got);
    }
    return result;
}

Transfer try_write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n) {
    Transfer result;
    if (lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(-1)) {
        result.sought = false;
        result.error = errno;
        return result;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    while (result.count < n) {
        ssize_t put = write(fd, bytes + result.count, n - result.count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            result.error = put < 0 ? errno : 0;
            break;
        }
        result.count += static_cast<std::size_t>(put);
    }
    return result;
}

void read_at(int fd, std::int64_t offset, void* buffer, std::size_t n, const char* seek_message,
             const char* read_message) {
    Transfer done = try_read_at(fd, offset, buffer, n);
    if (!done.sought) fatal(done.error, "%s", seek_message);
    if (done.count != n) fatal(done.error, "%s", read_message);
}

void write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n, const char* seek_message,
              const char* write_message) {
    Transfer done = try_write_at(fd, offset, buffer, n);
    if (!done.sought) fatal(done.error, "%s", seek_message);
    if (done.count != n) fatal(done.error, "%s", write_message);
}

void copy_sectors(std::int64_t from, std::int64_t to, std::int64_t count) {
    char sector[SECTOR_BYTES];
    for (std::int64_t i = 0; i < count; ++i) {
        read_at(image_fd, (from + i) * SECTOR_BYTES, sector, sizeof sector, "cannot seek disk image",
                "cannot read disk sector");
        write_at(image_fd, (to + i) * SECTOR_BYTES, sector, sizeof sector, "cannot seek disk image",
                 "cannot write disk sector");
    }
}

void flush_image() {
    if (fdatasync(image_fd) != 0 && errno != EINVAL && errno != EROFS)
        fatal(errno, "cannot flush disk image");
}

std::int64_t file_size(int fd, const char* message) {
    struct stat status {};
    if (fstat(fd, &status) != 0) fatal(errno, "%s", message);
    return static_cast<std::int64_t>(status.st_size);
}

int create_host_file(const std::string& path, const char* message) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) fatal(errno, message, path.c_str());
    return fd;
}

void close_host_file(FileDescriptor& file, const char* message) {
    if (::close(file.release()) != 0 && errno != EINTR) fatal(errno, "%s", message);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void FileDescriptor::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

} // namespace veltool
