// veltra._veltra.parameters: parmdump's report of a data file, from a path or from bytes.
#include <pybind11/stl.h>

#include "python/binding.h"
#include "veltra/parameters.h"

namespace veltra_python {

namespace {

veltra::UnknownData unknown_as(const std::string& kind) {
    if (kind.empty()) return {};
    if (kind == "FENDAR") return {true, false};
    if (kind == "TORGIL") return {false, true};
    throw py::value_error("unknown data are read as \"FENDAR\" or \"TORGIL\" data, not \"" + kind + "\"");
}

// parmdump's report; an error is raised with parmdump's message, which holds the system's
// error text itself.
template <class Work>
py::tuple report_of(Work work) {
    WarningKeeper keeper;
    veltra::ParameterReport report;
    try {
        report = released(keeper, work);
    } catch (const veltra::Error& error) {
        raise_error(error.what(), error.errnum());
    }
    py::list records;
    for (const veltra::Parameter& p : report.parameters)
        records.append(py::make_tuple(p.name, p.value, p.unit, p.block, p.kind));
    return py::make_tuple(records, py::bytes(report.text).attr("decode")("latin-1"));
}

} // namespace

void define_parameters(py::module_& module) {
    module.def(
        "parameters_of_path",
        [](const std::string& path, const std::string& unknown) {
            veltra::UnknownData as = unknown_as(unknown);
            return report_of([&] { return veltra::parameters(path, as); });
        },
        py::arg("path"), py::arg("unknown"),
        "parmdump's report of the data file at path: (records as (name, value, unit, block, kind), text).");
    module.def(
        "parameters_of_bytes",
        [](const py::bytes& data, const std::string& name, const std::string& unknown,
           const py::bytes& parameter_file) {
            veltra::UnknownData as = unknown_as(unknown);
            std::vector<std::uint8_t> content = bytes_of(data), parameters = bytes_of(parameter_file);
            return report_of([&] { return veltra::parameters(content, name, as, parameters); });
        },
        py::arg("data"), py::arg("name"), py::arg("unknown"), py::arg("parameter_file"),
        "The same for a data file's bytes, named name, with the bytes of its parameter file (or none).");
}

} // namespace veltra_python
