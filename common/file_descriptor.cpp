#include "common/file_descriptor.h"

#include <unistd.h>

namespace kavolt {

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

} // namespace kavolt
