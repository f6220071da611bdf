// Where the library's warnings and errors go: a reporter chosen by the caller.
#pragma once

#include <string>
#include <vector>

#include "veltra/error.h"

namespace veltra {

// Receives every warning and error of the work done on an image. Texts are the ones the
// command line prints after "WARNING: " or "ERROR: ", without the final line end; errnum is
// the system error number that came with them, or 0.
class Reporter {
  public:
    virtual ~Reporter() = default;
    // A warning: the work goes on.
    virtual void warning(const std::string& text, int errnum) = 0;
    // An error: the work stops. It must not return; it throws (veltra::Error, or an
    // exception of the caller's own).
    [[noreturn]] virtual void error(const std::string& text, int errnum) = 0;
};

// The library's default reporter: keeps the warnings, in order, and throws an error as
// veltra::Error.
class KeepingReporter : public Reporter {
  public:
    struct Warning {
        std::string text;
        int errnum = 0;
    };
    void warning(const std::string& text, int errnum) override { warnings_.push_back({text, errnum}); }
    [[noreturn]] void error(const std::string& text, int errnum) override { throw Error(text, errnum); }
    // The warnings kept so far, oldest first.
    const std::vector<Warning>& warnings() const noexcept { return warnings_; }
    void clear() noexcept { warnings_.clear(); }

  private:
    std::vector<Warning> warnings_;
};

} // namespace veltra
