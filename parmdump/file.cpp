#include "parmdump/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace parmdump {

FileDescriptor open_file(const std::string& name) {
    return FileDescriptor(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
}

ReadResult read_fully(int fd, void* buffer, std::size_t n) {
    ReadResult result;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (result.count < n) {
        ssize_t got = ::read(fd, bytes + result.count, n - result.count);
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

std::string short_read_text(const ReadResult& result) {
    return result.error != 0 ? std::strerror(result.error) : "file too short";
}

PathParts split_path(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace parmdump
