#include "veltool/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "veltool/image/image.h"

namespace veltool {

namespace {

std::string vformatted(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, again);
    va_end(again);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

} // namespace

void print_report(const char* prefix, const std::string& text, int errnum) {
    std::fflush(stdout);
    std::fputs(prefix, stderr);
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (errnum != 0) {
        std::fprintf(stderr, ":\n%s\n", std::strerror(errnum));
    } else {
        std::fputc('\n', stderr);
    }
}

std::string formatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatted(format, args);
    va_end(args);
    return text;
}

void fatal(int errnum, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatted(format, args);
    va_end(args);
    throw veltra::Error(text, errnum);
}

int warn(Image& image, int errnum, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatted(format, args);
    va_end(args);
    image.reporter.warning(text, errnum);
    return -1;
}

void fatal_unless_forced(Image& image, bool force, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatted(format, args);
    va_end(args);
    if (!force) throw veltra::Error(text, 0);
    image.reporter.warning(text, 0);
}

} // namespace veltool
