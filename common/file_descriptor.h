// An owned file descriptor, for the host files of both programs.
#pragma once

namespace kavolt {

// Owns a descriptor and closes it when it goes out of scope or another one takes its place.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    ~FileDescriptor() { close(); }

    int get() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    // Gives up ownership: the descriptor is returned and no longer closed here.
    int release();
    void close();

  private:
    int fd_;
};

} // namespace kavolt
