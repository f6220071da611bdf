#include "veltool/image/io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "veltool/image/image.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// Whole sectors of a run of n bytes of which `arrived` came: all n when they all came.
std::size_t whole_part(std::size_t arrived, std::size_t n) {
    if (arrived == n) return n;
    return arrived / static_cast<std::size_t>(SECTOR_BYTES) * static_cast<std::size_t>(SECTOR_BYTES);
}

std::size_t run_size(std::int64_t bytes, std::int64_t largest = RUN_BYTES) {
    return static_cast<std::size_t>(std::clamp<std::int64_t>(bytes, 0, largest));
}

// Where the kernel copy is quicker than the buffered one, as measured on ext4: into bytes the
// destination already holds on its disk, by about a seventh. Into a hole of a sparse file (the
// free area of an image made by VELNEW) it is slower by a fifth, and so where it makes the
// destination grow, unless from a source offset on a page boundary to a destination offset on a
// 64 KiB boundary: a file's data in an image start at a multiple of 768 bytes, on a page
// boundary only every 16th sector.
bool kernel_copy_wins(const CopyEnd& from, const CopyEnd& to, std::int64_t bytes) {
    constexpr std::int64_t GROWTH_ALIGNMENT = 64 * 1024;
    struct stat status {};
    if (fstat(to.fd, &status) != 0) return false;
    if (to.offset + bytes <= static_cast<std::int64_t>(status.st_size)) {
        off_t hole = lseek(to.fd, static_cast<off_t>(to.offset), SEEK_HOLE);
        return hole < 0 || hole >= to.offset + bytes;
    }
    return from.offset % sysconf(_SC_PAGESIZE) == 0 && to.offset % GROWTH_ALIGNMENT == 0;
}

// The kernel copies what it can of the run without the bytes passing through this process:
// never more than the whole sectors the source holds, so that a source that ends inside
// the run is left to the buffered copy, which stops where a sector-by-sector loop would.
// Runs shorter than KERNEL_COPY_BYTES are quicker through the buffer. Returns the bytes
// copied; 0 where the kernel refuses or would be slower.
std::int64_t copy_in_kernel(const CopyEnd& from, const CopyEnd& to, std::int64_t bytes) {
    constexpr std::int64_t KERNEL_COPY_BYTES = 64 * 1024;
    struct stat status {};
    if (bytes < KERNEL_COPY_BYTES || from.offset < 0 || to.offset < 0 || fstat(from.fd, &status) != 0 ||
        !S_ISREG(status.st_mode) || !kernel_copy_wins(from, to, bytes))
        return 0;
    std::int64_t available = static_cast<std::int64_t>(status.st_size) - from.offset;
    std::int64_t wanted = bytes;
    if (available < bytes) wanted = std::max<std::int64_t>(available, 0) / SECTOR_BYTES * SECTOR_BYTES;
    auto in = static_cast<off_t>(from.offset);
    auto out = static_cast<off_t>(to.offset);
    constexpr std::int64_t LARGEST_CALL = std::int64_t{1} << 30;
    std::int64_t done = 0;
    while (done < wanted) {
        ssize_t n = copy_file_range(from.fd, &in, to.fd, &out,
                                    static_cast<std::size_t>(std::min(wanted - done, LARGEST_CALL)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    if (done > 0 && to.scan != nullptr) to.scan->written(to.offset, nullptr, done);
    return done;
}

} // namespace

// A negative offset, or a descriptor that has no offsets (a pipe, a terminal), is reported as
// the seek to the offset would be.
Transfer try_read_at(int fd, std::int64_t offset, void* buffer, std::size_t n) {
    Transfer result;
    if (offset < 0) {
        result.sought = false;
        result.error = EINVAL;
        return result;
    }
    auto* bytes = static_cast<char*>(buffer);
    while (result.count < n) {
        ssize_t got = pread(fd, bytes + result.count, n - result.count,
                            static_cast<off_t>(offset + static_cast<std::int64_t>(result.count)));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result.error = errno;
            result.sought = errno != ESPIPE;
            break;
        }
        if (got == 0) break;
        result.count += static_cast<std::size_t>(got);
    }
    return result;
}

Transfer try_write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n) {
    Transfer result;
    if (offset < 0) {
        result.sought = false;
        result.error = EINVAL;
        return result;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    while (result.count < n) {
        ssize_t put = pwrite(fd, bytes + result.count, n - result.count,
                             static_cast<off_t>(offset + static_cast<std::int64_t>(result.count)));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            result.error = put < 0 ? errno : 0;
            result.sought = put == 0 || errno != ESPIPE;
            break;
        }
        result.count += static_cast<std::size_t>(put);
    }
    return result;
}

void fatal_transfer(const Transfer& failed, const char* seek_message, const char* transfer_message) {
    fatal(failed.error, "%s", failed.sought ? transfer_message : seek_message);
}

void fatal_write(Transfer failed, const CopyEnd& to) {
    if (failed.error == EBADF && to.write_refused != 0) failed.error = to.write_refused;
    fatal_transfer(failed, to.seek_message, to.transfer_message);
}

bool warn_transfer(Image& image, const Transfer& failed, const char* seek_message,
                   const char* transfer_message) {
    warn(image, failed.error, "%s", failed.sought ? transfer_message : seek_message);
    return false;
}

void read_at(int fd, std::int64_t offset, void* buffer, std::size_t n, const char* seek_message,
             const char* read_message) {
    Transfer done = try_read_at(fd, offset, buffer, n);
    if (!done.sought || done.count != n) fatal_transfer(done, seek_message, read_message);
}

void write_at(int fd, std::int64_t offset, const void* buffer, std::size_t n, const char* seek_message,
              const char* write_message) {
    Transfer done = try_write_at(fd, offset, buffer, n);
    if (!done.sought || done.count != n) fatal_transfer(done, seek_message, write_message);
}

std::optional<Transfer> read_runs(int fd, std::int64_t offset, std::int64_t bytes,
                                  const std::function<bool(unsigned char*, std::size_t)>& take) {
    std::vector<unsigned char> run(run_size(bytes));
    for (std::int64_t done = 0; done < bytes;) {
        std::size_t n = run_size(bytes - done);
        Transfer got = try_read_at(fd, offset + done, run.data(), n);
        std::size_t whole = whole_part(got.count, n);
        if (whole > 0 && !take(run.data(), whole)) return std::nullopt;
        if (whole != n) return got;
        done += static_cast<std::int64_t>(n);
    }
    return std::nullopt;
}

namespace {

std::optional<Transfer> copy_unjournaled(const CopyEnd& from, const CopyEnd& to, std::int64_t bytes,
                                         std::int64_t* written) {
    std::int64_t done = copy_in_kernel(from, to, bytes);
    if (written != nullptr) *written = done;
    std::vector<unsigned char> run;
    while (done < bytes) {
        std::size_t n = run_size(bytes - done);
        run.resize(std::max(run.size(), n));
        Transfer got = try_read_at(from.fd, from.offset + done, run.data(), n);
        std::size_t whole = whole_part(got.count, n);
        if (whole > 0) {
            Transfer put = try_write_at(to.fd, to.offset + done, run.data(), whole);
            if (to.scan != nullptr) to.scan->written(to.offset + done, run.data(), put.count);
            if (!put.sought || put.count != whole) fatal_write(put, to);
        }
        done += static_cast<std::int64_t>(whole);
        if (written != nullptr) *written = done;
        if (whole != n) return got;
    }
    return std::nullopt;
}

} // namespace

// Into the image under a journal, a piece at a time: the journal takes the old bytes of a
// piece in one synchronised batch before the piece is copied.
std::optional<Transfer> copy_run(const CopyEnd& from, const CopyEnd& to, std::int64_t bytes,
                                 std::int64_t* written) {
    if (to.journal == nullptr) return copy_unjournaled(from, to, bytes, written);
    constexpr std::int64_t PIECE_BYTES = 4 * RUN_BYTES;
    std::int64_t done = 0;
    for (;;) {
        std::int64_t n = std::min(bytes - done, PIECE_BYTES);
        to.journal->before_write(to.offset + done, n);
        CopyEnd source = from, target = to;
        source.offset += done;
        target.offset += done;
        std::int64_t moved = 0;
        std::optional<Transfer> failed = copy_unjournaled(source, target, n, &moved);
        done += moved;
        if (written != nullptr) *written = done;
        if (failed || done >= bytes) return failed;
    }
}

void copy_host_sectors(const CopyEnd& from, const CopyEnd& to, std::int64_t sectors) {
    std::optional<Transfer> failed = copy_run(from, to, sectors * SECTOR_BYTES);
    if (failed) fatal_transfer(*failed, from.seek_message, from.transfer_message);
}

void copy_sectors(Image& image, std::int64_t from, std::int64_t to, std::int64_t count) {
    copy_host_sectors(
        CopyEnd{image.fd(), from * SECTOR_BYTES, "cannot seek disk image", "cannot read disk sector"},
        image_end(image, to * SECTOR_BYTES), count);
}

SectorScan::SectorScan(Image& image) : image_(image), outer_(image.current_scan) {
    image.current_scan = this;
}

SectorScan::~SectorScan() {
    image_.current_scan = outer_;
}

const unsigned char* SectorScan::sector(std::int64_t s, const char* seek_message, const char* read_message) {
    if (s >= first_ && s < first_ + held_) return run_.data() + (s - first_) * SECTOR_BYTES;
    run_.resize(static_cast<std::size_t>(RUN_BYTES));
    held_ = 0;
    Transfer got = try_read_at(image_.fd(), s * SECTOR_BYTES, run_.data(), run_.size());
    first_ = s;
    held_ = static_cast<std::int64_t>(got.count) / SECTOR_BYTES;
    if (held_ == 0) fatal_transfer(got, seek_message, read_message);
    return run_.data();
}

void SectorScan::written(std::int64_t offset, const void* bytes, std::size_t n) {
    if (outer_ != nullptr) outer_->written(offset, bytes, n);
    std::int64_t begin = std::max(offset, first_ * SECTOR_BYTES);
    std::int64_t end = std::min(offset + static_cast<std::int64_t>(n), (first_ + held_) * SECTOR_BYTES);
    if (begin >= end) return;
    if (bytes == nullptr) {
        held_ = 0;
        return;
    }
    std::memcpy(run_.data() + (begin - first_ * SECTOR_BYTES),
                static_cast<const char*>(bytes) + (begin - offset), static_cast<std::size_t>(end - begin));
}

void flush_image(Image& image) {
    if (fdatasync(image.fd()) != 0 && errno != EINVAL && errno != EROFS)
        fatal(errno, "cannot flush disk image");
}

namespace {

// The largest window a walk maps: the pages of the file it touches count towards the
// process's resident memory until the window goes.
constexpr std::int64_t WINDOW_BYTES = 1024 * 1024;

// Where a SIGBUS in guarded_copy jumps to, for each thread: the one state of the library
// that is not an image's.
thread_local sigjmp_buf bus_jump;
thread_local volatile std::sig_atomic_t copying = 0;

void on_bus(int);

// The handler there was before the walks' own, which the first walk installs once for all;
// nullptr when it could not be installed.
const struct sigaction* outer_bus_action() {
    static const std::optional<struct sigaction> outer = []() -> std::optional<struct sigaction> {
        struct sigaction action {};
        struct sigaction before {};
        action.sa_handler = on_bus;
        action.sa_flags = SA_NODEFER;
        sigemptyset(&action.sa_mask);
        if (sigaction(SIGBUS, &action, &before) != 0) return std::nullopt;
        return before;
    }
    ();
    return outer ? &*outer : nullptr;
}

// A SIGBUS that does not come from guarded_copy goes back to the handler before the walks':
// the instruction that raised it runs again and raises it there.
void on_bus(int) {
    if (copying == 0) {
        sigaction(SIGBUS, outer_bus_action(), nullptr);
        return;
    }
    copying = 0;
    siglongjmp(bus_jump, 1);
}

// memcpy from a mapping that may lose its pages: false when touching them raised SIGBUS.
// Nothing with a destructor may live between the jump points. The mask is not saved (that
// would be a system call per copy): the handler runs with SA_NODEFER, so SIGBUS stays
// unblocked after the jump.
bool guarded_copy(void* out, const void* from, std::size_t n) {
    if (sigsetjmp(bus_jump, 0) != 0) return false;
    copying = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst); // the copy stays between the flags
    std::memcpy(out, from, n);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    copying = 0;
    return true;
}

} // namespace

MappedWalk::~MappedWalk() {
    unmap();
}

bool MappedWalk::copy(std::int64_t offset, void* out, std::size_t n, std::int64_t file_bytes) {
    auto size = static_cast<std::int64_t>(n);
    if (given_up_ || offset < 0 || size > WINDOW_BYTES / 2 || offset + size > file_bytes) return false;
    bool inside = window_ != nullptr && offset >= first_ &&
                  offset + size <= first_ + static_cast<std::int64_t>(length_);
    if (!inside && !map(offset, file_bytes)) return false;
    if (guarded_copy(out, window_ + (offset - first_), n)) return true;
    unmap();
    given_up_ = true;
    return false;
}

void MappedWalk::prefetch(std::int64_t offset, std::size_t n) const {
    constexpr std::int64_t LINE_BYTES = 64;
    auto end = offset + static_cast<std::int64_t>(n);
    if (window_ == nullptr || offset < first_ || end > first_ + static_cast<std::int64_t>(length_)) return;
    for (std::int64_t at = offset; at < end; at += LINE_BYTES)
        __builtin_prefetch(window_ + (at - first_));
    __builtin_prefetch(window_ + (end - 1 - first_));
}

bool MappedWalk::map(std::int64_t offset, std::int64_t file_bytes) {
    unmap();
    std::int64_t page = sysconf(_SC_PAGESIZE);
    first_ = offset / page * page;
    length_ = static_cast<std::size_t>(std::min(WINDOW_BYTES, file_bytes - first_));
    void* window = mmap(nullptr, length_, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(first_));
    if (window == MAP_FAILED || outer_bus_action() == nullptr) {
        if (window != MAP_FAILED) munmap(window, length_);
        given_up_ = true;
        return false;
    }
    window_ = static_cast<unsigned char*>(window);
    return true;
}

void MappedWalk::unmap() {
    if (window_ == nullptr) return;
    munmap(window_, length_);
    window_ = nullptr;
}

std::int64_t file_size(int fd, const char* message) {
    struct stat status {};
    if (fstat(fd, &status) != 0) fatal(errno, "%s", message);
    return static_cast<std::int64_t>(status.st_size);
}

FileDescriptor open_host_file(const std::string& path, const char* message) {
    FileDescriptor fd(open(path.c_str(), O_RDONLY));
    if (!fd.is_open()) fatal(errno, message, path.c_str());
    return fd;
}

FileDescriptor open_host_file_or_warn(Image& image, const std::string& path, const char* message) {
    FileDescriptor fd(open(path.c_str(), O_RDONLY));
    if (!fd.is_open()) warn(image, errno, message, path.c_str());
    return fd;
}

FileDescriptor create_host_file(const std::string& path, const char* message) {
    FileDescriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (!fd.is_open()) fatal(errno, message, path.c_str());
    return fd;
}

void close_host_file(FileDescriptor& file, const char* message) {
    if (::close(file.release()) != 0 && errno != EINTR) fatal(errno, "%s", message);
}

} // namespace veltool
