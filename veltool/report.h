// How veltool's errors and warnings leave the code that finds them: an error is thrown as
// veltra::Error and handed to the image's reporter where the work was started; a warning
// goes to the image's reporter at once.
#pragma once

#include <cerrno>
#include <new>
#include <string>

#include "veltra/error.h"

namespace veltool {

struct Image;

// Prints a report as the programs print it on standard error, after flushing what was
// printed on standard output so far: the prefix ("ERROR: " or "WARNING: "), the text, then
// ":\n" and the text of errnum when it is not 0, else "\n".
void print_report(const char* prefix, const std::string& text, int errnum);

// The printf text of format and its arguments.
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Throws veltra::Error with the printf text and errnum (the system error, or 0). Its
// reporter prints "ERROR: ", the text, then ":\n" and the text of errnum or "\n".
[[noreturn]] void fatal(int errnum, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Hands the printf text to the image's reporter as a warning and returns -1.
int warn(Image& image, int errnum, const char* format, ...) __attribute__((format(printf, 3, 4)));

// The checks that the force letter F lets pass: fatal without force, a warning with it.
void fatal_unless_forced(Image& image, bool force, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

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
