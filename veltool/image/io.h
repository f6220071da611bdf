// Positioned reads and writes with the system's messages: every byte of an image or host
// file that veltool moves goes through these. Long transfers go in runs of whole sectors,
// front to back, so that a transfer that stops half-way leaves what a sector-by-sector loop
// would have left: every whole sector that arrived, and nothing of the sector that did not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "common/file_descriptor.h"
#include "veltool/image/layout.h"

namespace veltool {

using kavolt::FileDescriptor;

struct Image;
class Journal;
class SectorScan;

// The largest run moved by one call: 1365 sectors, just under 1 MiB.
constexpr std::int64_t RUN_BYTES = 1365 * SECTOR_BYTES;

// Reads n bytes at offset into buffer; a negative offset is fatal seek_message (as a seek to
// it would be), fewer bytes fatal read_message, with the system error when the read failed.
void read_at(int fd, std::int64_t offset, void* buffer, std::size_t n, const char* seek_message,
             const char* read_message);

// Writes n bytes at offset; a negative offset or a short write is fatal as for read_at.
void write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n, const char* seek_message,
              const char* write_message);

// The outcome of a positioned transfer that the caller reports itself.
struct Transfer {
    bool sought = true;    // false: the offset was not a place in the file
    std::size_t count = 0; // bytes moved
    int error = 0;         // errno of the failing call, 0 for a plain end of file
};

// Reads up to n bytes at offset, stopping early only at the end of the file or on error.
Transfer try_read_at(int fd, std::int64_t offset, void* buffer, std::size_t n);
// Writes n bytes at offset, stopping early only on error.
Transfer try_write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n);

// Fatal seek_message when the transfer's offset was refused, else fatal transfer_message.
[[noreturn]] void fatal_transfer(const Transfer& failed, const char* seek_message,
                                 const char* transfer_message);
// The same as a warning of the image; returns false.
bool warn_transfer(Image& image, const Transfer& failed, const char* seek_message,
                   const char* transfer_message);

// Hands bytes [offset, offset + bytes) of fd to take(run, n), a run of at most RUN_BYTES at
// a time, until take returns false. Returns the failed read when one comes up short while
// take still wants more, after handing over the whole sectors of that run that did arrive.
std::optional<Transfer> read_runs(int fd, std::int64_t offset, std::int64_t bytes,
                                  const std::function<bool(unsigned char*, std::size_t)>& take);

// One end of a copy: a descriptor, the byte offset of the run on it, the messages for a
// refused offset and a failed transfer, and for the image the scan that must see what is
// written there and the journal that takes the old bytes first.
struct CopyEnd {
    int fd;
    std::int64_t offset;
    const char* seek_message;
    const char* transfer_message;
    SectorScan* scan = nullptr;
    int write_refused = 0;      // why the descriptor could not be opened for writing, or 0
    Journal* journal = nullptr; // the journal that takes the old bytes before they are overwritten
};

// fatal_transfer of a failed write to `to` with its messages; a write that failed for a
// descriptor open for reading only (EBADF) reports to.write_refused instead, when known.
[[noreturn]] void fatal_write(Transfer failed, const CopyEnd& to);

// Copies `bytes` bytes front to back, in the kernel where it takes the two files and else
// through one buffer; safe for an overlapping run in one file when it moves to lower offsets.
// A failed write is fatal with to's messages; a failed read is returned, after the whole
// sectors that arrived were written. *written (when given) counts the bytes written.
std::optional<Transfer> copy_run(const CopyEnd& from, const CopyEnd& to, std::int64_t bytes,
                                 std::int64_t* written = nullptr);

// copy_run of `sectors` whole sectors with every failure fatal.
void copy_host_sectors(const CopyEnd& from, const CopyEnd& to, std::int64_t sectors);

// Copies `count` sectors of the disk image from sector `from` on to sector `to` on, as a loop
// of one sector at a time in ascending order would (safe for overlapping runs when to < from).
void copy_sectors(Image& image, std::int64_t from, std::int64_t to, std::int64_t count);

// Brings what was written to the disk image onto stable storage (fdatasync); fatal with the
// system error when that fails. Images on devices that cannot be synchronised pass.
void flush_image(Image& image);

// Reads the disk image's sectors for a walk towards higher sectors, a run at a time, and
// hands them out from memory. Writes to the image made while it lives (write_image,
// copy_sectors) reach its copy too, so that a sector written during the walk is never handed
// out as it was before.
class SectorScan {
  public:
    explicit SectorScan(Image& image);
    SectorScan(const SectorScan&) = delete;
    SectorScan& operator=(const SectorScan&) = delete;
    ~SectorScan();

    // The 768 bytes of sector s; fatal seek_message / read_message as read_at of that one
    // sector would be when they cannot be read.
    const unsigned char* sector(std::int64_t s, const char* seek_message, const char* read_message);
    // Takes in bytes written to the image at offset.
    void written(std::int64_t offset, const void* bytes, std::size_t n);
    Image& image() const { return image_; }

  private:
    std::vector<unsigned char> run_;
    std::int64_t first_ = 0; // the sector at run_[0]
    std::int64_t held_ = 0;  // whole sectors held
    Image& image_;
    SectorScan* outer_;
};

// Copies small pieces of a file that a walk takes in disk order out of a read-only mapping
// of a window of it at a time. A listing takes one record from the directory sector of every
// file: a read call for each costs more than the page faults of a mapping, and reading the
// whole image in long runs costs more still. Only one window is mapped at a time, so that
// the file's pages held stay bounded. Where the file cannot be mapped, or was cut short
// while mapped (the copy then meets SIGBUS, which is caught), copy says no and the caller
// reads the bytes instead, which reports what went wrong. Walks in several threads at once
// are safe; a SIGBUS from anywhere else goes to the handler there was before the first walk.
class MappedWalk {
  public:
    explicit MappedWalk(int fd) : fd_(fd) {}
    MappedWalk(const MappedWalk&) = delete;
    MappedWalk& operator=(const MappedWalk&) = delete;
    ~MappedWalk();

    // Copies bytes [offset, offset + n) of the file, which is file_bytes long, into out;
    // false when they did not come from the mapping.
    bool copy(std::int64_t offset, void* out, std::size_t n, std::int64_t file_bytes);
    // Bytes [offset, offset + n) will be copied soon: where they lie in the window mapped now,
    // the processor starts to fetch them while the caller does other work. Never touches them.
    void prefetch(std::int64_t offset, std::size_t n) const;

  private:
    bool map(std::int64_t offset, std::int64_t file_bytes);
    void unmap();

    int fd_;
    unsigned char* window_ = nullptr;
    std::int64_t first_ = 0; // the file offset of window_[0]
    std::size_t length_ = 0; // bytes mapped
    bool given_up_ = false;  // a map failed or a copy met SIGBUS: later copies say no
};

// Size in bytes of the file open on fd; fatal message (with the system error) when fstat fails.
std::int64_t file_size(int fd, const char* message);

// Opens a host file for reading; fatal `message` (a format with one %s for the path) with the
// system error when it cannot be opened.
FileDescriptor open_host_file(const std::string& path, const char* message);
// The same with a warning of the image instead: the descriptor returned is then not open.
FileDescriptor open_host_file_or_warn(Image& image, const std::string& path, const char* message);

// Creates (or truncates) a host file for writing, mode 0666 less the umask; fatal `message`
// (a format with one %s for the path) with the system error when it cannot be made.
FileDescriptor create_host_file(const std::string& path, const char* message);

// Closes a host file that veltool wrote. Some file systems report a failed write only here:
// fatal `message` with the system error then.
void close_host_file(FileDescriptor& file, const char* message);

} // namespace veltool
