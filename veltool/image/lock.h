// Advisory whole-file locks on the disk image, so that programs working on one image at
// the same time take turns: any number of readers, or one program that changes it.
#pragma once

namespace veltool {

enum class LockMode { shared, exclusive };

// Takes an advisory lock of the given mode on the whole file open on fd: an open-file-description
// lock (F_OFD_SETLK), else a classic fcntl record lock where the kernel lacks them. While another
// program holds a conflicting lock it retries quietly for up to wait_ms milliseconds.
// Returns false when the lock is still held by another program at the end.
// A file system that takes no locks at all (ENOLCK, EOPNOTSUPP and the like) leaves the file
// unlocked, and the call returns true: the lock is advisory and cannot be had there.
bool lock_file(int fd, LockMode mode, int wait_ms);
void unlock_file(int fd);

} // namespace veltool
