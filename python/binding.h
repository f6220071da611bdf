// The pieces the bindings of the Python module share: the calls made without the GIL, the
// warnings they give handed to Python afterwards, and the errors' text.
#pragma once

#include <pybind11/pybind11.h>

#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "veltra/image.h"
#include "veltra/reporter.h"

namespace veltra_python {

namespace py = pybind11;

// The text veltool prints after "ERROR: " or "WARNING: ", without its final line end: with
// the system's error text on a line of its own when there is one.
std::string command_line_text(const std::string& text, int errnum);

// Raises the library's error in Python as veltra.Error with that text.
[[noreturn]] void raise_error(const std::string& text, int errnum);

// Keeps the warnings of calls that run without the GIL, for Python's warnings module; errors
// are thrown as veltra::Error. Safe for calls in several threads.
class WarningKeeper : public veltra::Reporter {
  public:
    void warning(const std::string& text, int errnum) override;
    [[noreturn]] void error(const std::string& text, int errnum) override {
        throw veltra::Error(text, errnum);
    }
    // Issues the kept warnings as veltra.VeltraWarning and forgets them; needs the GIL. When
    // a warnings filter turns one into an exception, that is raised if `raise`, else dropped.
    void issue(bool raise);

  private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

// Runs work() without the GIL, then issues the warnings it gave, also when it ended with an
// error (which goes on to Python as veltra.Error). work returns a value.
template <class Work>
auto released(WarningKeeper& keeper, Work work) {
    std::invoke_result_t<Work> result{};
    try {
        py::gil_scoped_release unlocked;
        result = work();
    } catch (...) {
        keeper.issue(false);
        throw;
    }
    keeper.issue(true);
    return result;
}

// The bytes of a Python bytes object.
std::vector<std::uint8_t> bytes_of(const py::bytes& data);

// The form of a letter ("B", "D", "A" or "P"); ValueError for any other.
veltra::Form form_of(const std::string& letter);

void define_image(py::module_& module);
void define_parameters(py::module_& module);

} // namespace veltra_python
