// The two reporters of veltool: every error and warning reaches the user through them.
#pragma once

#include <cerrno>
#include <new>

namespace veltool {

// Thrown by fatal after its message has been printed; main turns it into exit status 1.
struct FatalExit {};

// Prints "ERROR: ", the message, then ":\n" and the text of errnum (when not 0) or "\n",
// on standard error, and ends the run with exit status 1.
[[noreturn]] void fatal(int errnum, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Prints like fatal with "WARNING: " and returns -1.
int warn(int errnum, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The checks that the force letter F lets pass: fatal without force, a warning with it.
void fatal_unless_forced(bool force, const char* format, ...) __attribute__((format(printf, 2, 3)));

// What allocate() returns; when memory runs out there, fatal `message` with the system error.
template <class Allocate>
auto allocated_or_fatal(const char* message, Allocate allocate) {
    try {
        return allocate();
    } catch (const std::bad_alloc&) {
        fatal(ENOMEM, "%s", message);
    }
}

} // namespace veltool
