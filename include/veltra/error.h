// The error every call of the veltra library may end with.
#pragma once

#include <stdexcept>
#include <string>

namespace veltra {

// An error of the library: what() is the text the command line prints after "ERROR: ",
// without the final line end and without the system's error text; errnum() is the system
// error number that came with it, or 0.
class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& text, int errnum = 0) : std::runtime_error(text), errnum_(errnum) {}
    // The system error number (errno) behind the error, or 0 when there is none.
    int errnum() const noexcept { return errnum_; }

  private:
    int errnum_;
};

} // namespace veltra
