// Positioned reads and writes with the system's messages: every byte of an image or host
// file that veltool moves goes through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace veltool {

// Seeks fd to offset (fatal seek_message on failure) and reads n bytes into buffer; fewer
// bytes are fatal read_message, with the system error when the read itself failed.
void read_at(int fd, std::int64_t offset, void* buffer, std::size_t n, const char* seek_message,
             const char* read_message);

// Seeks and writes n bytes; a failed seek or short write is fatal as for read_at.
void write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n, const char* seek_message,
              const char* write_message);

// The outcome of a positioned transfer that the caller reports itself.
struct Transfer {
    bool sought = true;    // false: the seek failed
    std::size_t count = 0; // bytes moved
    int error = 0;         // errno of the failing call, 0 for a plain end of file
};

// Seeks and reads up to n bytes, stopping early only at the end of the file or on error.
Transfer try_read_at(int fd, std::int64_t offset, void* buffer, std::size_t n);
// Seeks and writes n bytes, stopping early only on error.
Transfer try_write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n);

// Copies `count` sectors of the disk image one at a time in ascending order, from sector
// `from` on to sector `to` on (safe for overlapping runs when to < from).
void copy_sectors(std::int64_t from, std::int64_t to, std::int64_t count);

// Brings what was written to the disk image onto stable storage (fdatasync); fatal with the
// system error when that fails. Images on devices that cannot be synchronised pass.
void flush_image();

// Size in bytes of the file open on fd; fatal message (with the system error) when fstat fails.
std::int64_t file_size(int fd, const char* message);

// Creates (or truncates) a host file for writing, mode 0666 less the umask; fatal `message`
// (a format with one %s for the path) with the system error when it cannot be made.
int create_host_file(const std::string& path, const char* message);

class FileDescriptor;
// Closes a host file that veltool wrote. Some file systems report a failed write only here:
// fatal `message` with the system error then.
void close_host_file(FileDescriptor& file, const char* message);

// Owns a descriptor and closes it when it goes out of scope.
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
    int release();
    void close();

  private:
    int fd_;
};

} // namespace veltool
