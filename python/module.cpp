// The extension module veltra._veltra: the library's errors as veltra.Error, its warnings as
// veltra.VeltraWarning, and the bindings of the image and of the parameter reports. The
// package veltra (veltra/__init__.py) builds its Python API on it.
#include <cstring>

#include "python/binding.h"
#include "veltra/error.h"

namespace veltra_python {

std::string command_line_text(const std::string& text, int errnum) {
    return errnum == 0 ? text : text + ":\n" + std::strerror(errnum);
}

void raise_error(const std::string& text, int errnum) {
    py::object raised = py::module_::import("veltra._errors").attr("error")(text, errnum);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(raised.ptr())), raised.ptr());
    throw py::error_already_set();
}

void WarningKeeper::warning(const std::string& text, int errnum) {
    std::lock_guard<std::mutex> hold(mutex_);
    texts_.push_back(command_line_text(text, errnum));
}

void WarningKeeper::issue(bool raise) {
    std::vector<std::string> kept;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        kept.swap(texts_);
    }
    if (kept.empty()) return;
    py::object category = py::module_::import("veltra._errors").attr("VeltraWarning");
    for (const std::string& text : kept) {
        // Level 2: the caller of the package's function, not the package.
        if (PyErr_WarnEx(category.ptr(), text.c_str(), 2) == 0) continue;
        if (raise) throw py::error_already_set();
        PyErr_Clear();
    }
}

std::vector<std::uint8_t> bytes_of(const py::bytes& data) {
    std::string content = data;
    return {content.begin(), content.end()};
}

veltra::Form form_of(const std::string& letter) {
    if (letter == "B") return veltra::Form::file_image;
    if (letter == "D") return veltra::Form::data;
    if (letter == "A") return veltra::Form::text;
    if (letter == "P") return veltra::Form::packed;
    throw py::value_error("form must be \"B\", \"D\", \"A\" or \"P\", not \"" + letter + "\"");
}

} // namespace veltra_python

PYBIND11_MODULE(_veltra, module) {
    using namespace veltra_python;
    module.doc() = "The library of veltool for the package veltra: use veltra's functions, not these.";
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const veltra::Error& error) {
            py::object raised =
                py::module_::import("veltra._errors")
                    .attr("error")(command_line_text(error.what(), error.errnum()), error.errnum());
            PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(raised.ptr())), raised.ptr());
        }
    });
    define_image(module);
    define_parameters(module);
}
