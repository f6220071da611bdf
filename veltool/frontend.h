// The veltool command line: one command on one image, reported on standard error.
#pragma once

#include <string>

#include "veltra/reporter.h"

namespace veltool {

// The reporter of the command line: prints "WARNING: " or "ERROR: ", the text, then ":\n"
// and the text of errnum (when not 0) or "\n" on standard error, after what was printed on
// standard output so far; an error then ends the run (CommandLineExit).
class CommandLineReporter : public veltra::Reporter {
  public:
    void warning(const std::string& text, int errnum) override;
    [[noreturn]] void error(const std::string& text, int errnum) override;
};

// Thrown by the command line's reporter after an error was printed: the run ends with
// exit status 1.
struct CommandLineExit {};

// Runs one veltool command as the process would with these arguments and returns the exit
// status: 0, or 1 after an error. The process settings (locale, time zone) are main's.
int run_veltool(int argc, char** argv);

} // namespace veltool
