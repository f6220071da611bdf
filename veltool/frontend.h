// Start and end of a veltool run.
#pragma once

#include <string>

#include "veltool/commands.h"
#include "veltool/image/lock.h"

namespace veltool {

// How long a command waits for another program to let go of the image.
constexpr int IMAGE_LOCK_WAIT_MS = 30000;

// Runs one veltool command as the process would with these arguments and returns the exit
// status: 0, or 1 after an error.
int run_veltool(int argc, char** argv);

// Opens the disk image into image_fd for reading and writing, else for reading only; true
// when it could be opened for writing.
bool open_image(const std::string& path);

// Locks the image open on fd (named path) for the rest of the run, waiting for other
// programs as long as IMAGE_LOCK_WAIT_MS; fatal when one still holds it then.
void lock_image(int fd, const std::string& path, LockMode mode);

// Opens and locks the image for a command that uses it so: an exclusive lock for one that
// changes or creates it, when it could be opened for writing; a shared lock otherwise.
void hold_image(const std::string& path, ImageUse use);

} // namespace veltool
