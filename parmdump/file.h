// Host files of parmdump: an owned descriptor, whole reads and the parts of a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace parmdump {

// The descriptor of the file being read; closed when the owner goes or another file takes
// its place.
class OpenFile {
  public:
    OpenFile() = default;
    explicit OpenFile(int fd) : fd_(fd) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    OpenFile(OpenFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    OpenFile& operator=(OpenFile&& other) noexcept;
    ~OpenFile() { close(); }

    int get() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    void close();

  private:
    int fd_ = -1;
};

// Opens name read-only; not open on failure, with errno set.
OpenFile open_file(const std::string& name);

// How a read went: the bytes that arrived and the system error that stopped it (0 when the
// file simply ended).
struct ReadResult {
    std::size_t count = 0;
    int error = 0;
};

// Reads up to n bytes, stopping early only at the end of the file or on an error.
ReadResult read_fully(int fd, void* buffer, std::size_t n);

// The system's text for a read that brought fewer bytes than asked for.
std::string short_read_text(const ReadResult& result);

// A path split at its last "/": the directory part ("." when there is no "/") and the name.
struct PathParts {
    std::string directory;
    std::string base;
};
PathParts split_path(const std::string& path);

} // namespace parmdump
