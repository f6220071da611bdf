#include "parmdump/file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace parmdump {

namespace {

class HostFile : public InputFile {
  public:
    explicit HostFile(FileDescriptor file) : file_(std::move(file)) {}
    int seek(std::int64_t offset) override {
        return ::lseek(file_.get(), static_cast<off_t>(offset), SEEK_SET) < 0 ? errno : 0;
    }
    ReadResult read(void* buffer, std::size_t n) override { return read_fully(file_.get(), buffer, n); }

  private:
    FileDescriptor file_;
};

class MemoryFile : public InputFile {
  public:
    explicit MemoryFile(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    int seek(std::int64_t offset) override {
        if (offset < 0) return EINVAL;
        place_ = static_cast<std::uint64_t>(offset);
        return 0;
    }
    ReadResult read(void* buffer, std::size_t n) override {
        std::size_t count = place_ >= bytes_.size() ? 0 : std::min<std::uint64_t>(n, bytes_.size() - place_);
        if (count > 0) std::memcpy(buffer, bytes_.data() + place_, count);
        place_ += count;
        return {count, 0};
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t place_ = 0;
};

} // namespace

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

std::unique_ptr<InputFile> HostFiles::open(const std::string& name, int& error) const {
    FileDescriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.is_open()) {
        error = errno;
        return nullptr;
    }
    return std::make_unique<HostFile>(std::move(file));
}

std::unique_ptr<InputFile> MemoryFiles::open(const std::string& name, int& error) const {
    auto found = files_.find(name);
    if (found == files_.end()) {
        error = ENOENT;
        return nullptr;
    }
    return std::make_unique<MemoryFile>(found->second);
}

PathParts split_path(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace parmdump
