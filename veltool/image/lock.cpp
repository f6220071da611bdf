#include "veltool/image/lock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <thread>

namespace veltool {

namespace {

// F_OFD_SETLK, or a classic record lock where the kernel turns that down as unknown.
int set_lock(int fd, short type) {
    bool description_locks = true;
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0; // to the end of the file, however long it grows
    for (;;) {
        int command = description_locks ? F_OFD_SETLK : F_SETLK;
        if (fcntl(fd, command, &lock) == 0) return 0;
        if (errno == EINTR) continue;
        if (errno == EINVAL && description_locks) {
            description_locks = false;
            continue;
        }
        return errno;
    }
}

bool held_by_another(int error) {
    return error == EAGAIN || error == EACCES;
}

} // namespace

bool lock_file(int fd, LockMode mode, int wait_ms) {
    const short type = mode == LockMode::shared ? F_RDLCK : F_WRLCK;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    auto pause = std::chrono::milliseconds(2);
    for (;;) {
        int error = set_lock(fd, type);
        if (!held_by_another(error)) return true;
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

void unlock_file(int fd) {
    set_lock(fd, F_UNLCK);
}

} // namespace veltool
