// A library the tests preload into a program (LD_PRELOAD) to see what it does to one file and
// to make its writes there fail. Only libc is called, so that it fits any program.
//
//   VELSHIM_FILE  the file watched (the disk image); a descriptor counts when it is open on the
//                 same device and inode, however it was opened
//   VELSHIM_LOG   the log, appended one line per event on that file, in order:
//                   "lock S" / "lock X" / "unlock"  a lock of the file set (fcntl, when it succeeds)
//                   "write OFFSET LENGTH"           a pwrite, write or copy_file_range into it
//                   "truncate LENGTH"               an ftruncate
//                   "flush"                         an fdatasync
//   VELSHIM_FILE2 a second file watched (the image's journal, which need not exist yet): its
//                 writes and flushes are logged as "jwrite OFFSET LENGTH" and "jflush", and its
//                 writes count in one sequence with those of the first file
//   VELSHIM_FAIL  "N:HOW" or "N+:HOW": the N-th write into the files (from 1) fails with the error
//                 HOW, EIO or ENOSPC (logged as "fail OFFSET LENGTH"), and with "+" every later one
//                 too. With HOW killafter the N-th write happens, then the process gets SIGKILL.
// Built without _FILE_OFFSET_BITS, so that pwrite and pwrite64 are two names here as in libc.
#undef _FILE_OFFSET_BITS
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool open_on(int fd, const char* variable) {
    const char* path = std::getenv(variable);
    struct stat file {
    }, open_file{};
    return path != nullptr && stat(path, &file) == 0 && fstat(fd, &open_file) == 0 &&
           file.st_dev == open_file.st_dev && file.st_ino == open_file.st_ino;
}

// "" for the first watched file, "j" for the second, nullptr for any other.
const char* prefix_of(int fd) {
    return open_on(fd, "VELSHIM_FILE") ? "" : open_on(fd, "VELSHIM_FILE2") ? "j" : nullptr;
}

void log(const char* format, ...) {
    const char* path = std::getenv("VELSHIM_LOG");
    int fd = path == nullptr ? -1 : open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    va_list arguments;
    va_start(arguments, format);
    vdprintf(fd, format, arguments);
    va_end(arguments);
    close(fd);
}

// Set when the write allowed last is to be followed by SIGKILL.
bool killed_after = false;

// The result of a write allowed, unless the process is to be killed after it.
template <typename R>
R done(R result) {
    if (killed_after) raise(SIGKILL);
    return result;
}

// Logs a write of n bytes at offset into fd; false when it is to fail (errno is then set).
bool allow_write(int fd, long long offset, std::size_t n) {
    const char* prefix = prefix_of(fd);
    if (prefix == nullptr) return true;
    static long count = 0;
    ++count;
    const char* fail = std::getenv("VELSHIM_FAIL");
    char* rest = nullptr;
    long at = fail == nullptr ? 0 : std::strtol(fail, &rest, 10);
    bool later = at > 0 && *rest == '+';
    const char* how = fail == nullptr || std::strchr(fail, ':') == nullptr ? "" : std::strchr(fail, ':') + 1;
    if (at <= 0 || count < at || (count > at && !later) || std::strcmp(how, "killafter") == 0) {
        log("%swrite %lld %zu\n", prefix, offset, n);
        killed_after = count == at;
        return true;
    }
    log("%sfail %lld %zu\n", prefix, offset, n);
    errno = std::strcmp(how, "ENOSPC") == 0 ? ENOSPC : EIO;
    return false;
}

} // namespace

extern "C" {

ssize_t pwrite(int fd, const void* buffer, size_t n, off_t offset) {
    if (!allow_write(fd, offset, n)) return -1;
    return done(real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, buffer, n, offset));
}

ssize_t write(int fd, const void* buffer, size_t n) {
    if (!allow_write(fd, lseek(fd, 0, SEEK_CUR), n)) return -1;
    return done(real<ssize_t (*)(int, const void*, size_t)>("write")(fd, buffer, n));
}

ssize_t copy_file_range(int in, off_t* in_offset, int out, off_t* out_offset, size_t n, unsigned flags) {
    if (!allow_write(out, out_offset != nullptr ? *out_offset : lseek(out, 0, SEEK_CUR), n)) return -1;
    return done(real<ssize_t (*)(int, off_t*, int, off_t*, size_t, unsigned)>("copy_file_range")(
        in, in_offset, out, out_offset, n, flags));
}

int ftruncate(int fd, off_t length) {
    if (open_on(fd, "VELSHIM_FILE")) log("truncate %lld\n", static_cast<long long>(length));
    return real<int (*)(int, off_t)>("ftruncate")(fd, length);
}

int fdatasync(int fd) {
    if (const char* prefix = prefix_of(fd)) log("%sflush\n", prefix);
    return real<int (*)(int)>("fdatasync")(fd);
}

int fcntl(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    int result = real<int (*)(int, int, void*)>("fcntl")(fd, command, argument);
    bool sets =
        command == F_SETLK || command == F_SETLKW || command == F_OFD_SETLK || command == F_OFD_SETLKW;
    if (result == 0 && sets && open_on(fd, "VELSHIM_FILE")) {
        short type = static_cast<struct flock*>(argument)->l_type;
        log("%s\n", type == F_RDLCK ? "lock S" : type == F_WRLCK ? "lock X" : "unlock");
    }
    return result;
}

// The 64-bit names are the same functions on a 64-bit system, in libc as here.
int fcntl64(int fd, int command, ...) __attribute__((alias("fcntl")));
ssize_t pwrite64(int fd, const void* buffer, size_t n, off_t offset) __attribute__((alias("pwrite")));
int ftruncate64(int fd, off_t length) __attribute__((alias("ftruncate")));
}
