#include "veltool/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace veltool {

namespace {

void report(const char* prefix, int errnum, const char* format, va_list args) {
    std::fflush(stdout);
    std::fputs(prefix, stderr);
    std::vfprintf(stderr, format, args);
    if (errnum != 0) {
        std::fprintf(stderr, ":\n%s\n", std::strerror(errnum));
    } else {
        std::fputc('\n', stderr);
    }
}

} // namespace

void fatal(int errnum, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report("ERROR: ", errnum, format, args);
    va_end(args);
    throw FatalExit{};
}

int warn(int errnum, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report("WARNING: ", errnum, format, args);
    va_end(args);
    return -1;
}

void fatal_unless_forced(bool force, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(force ? "WARNING: " : "ERROR: ", 0, format, args);
    va_end(args);
    if (!force) throw FatalExit{};
}

} // namespace veltool
