// The parameter report as the library hands it out.
#include "veltra/parameters.h"

#include "parmdump/file.h"
#include "parmdump/identify.h"
#include "parmdump/report.h"

namespace veltra {

namespace {

ParameterReport report_of(const parmdump::FileSource& files, const std::string& name,
                          UnknownData unknown_data) {
    using namespace parmdump;
    Loaded loaded = load_parameter_sector(files, name);
    DataLine data = decide_kinds(loaded.sector, {unknown_data.as_fendar, unknown_data.as_torgil});
    ParameterReport report;
    ReportWriter out(report);
    out.text(data.text);
    if (data.kinds.fendar) write_report(out, Kind::fendar, loaded);
    if (data.kinds.torgil) write_report(out, Kind::torgil, loaded);
    return report;
}

} // namespace

UnknownData unknown_data_for_program(std::string_view program_name) {
    parmdump::Kinds kinds = parmdump::interpretation(program_name);
    return {kinds.fendar, kinds.torgil};
}

ParameterReport parameters(const std::string& path, UnknownData unknown_data) {
    return report_of(parmdump::HostFiles(), path, unknown_data);
}

ParameterReport parameters(const std::vector<std::uint8_t>& bytes, const std::string& name,
                           UnknownData unknown_data, const std::vector<std::uint8_t>& parameter_file) {
    // The names under which the report looks for the data file and its parameter file.
    parmdump::PathParts parts = parmdump::split_path(name);
    parmdump::MemoryFiles files;
    files.add(name, bytes);
    files.add(parts.directory + "/" + parts.base, bytes);
    if (!parameter_file.empty()) files.add(parts.directory + "/p_" + parts.base, parameter_file);
    return report_of(files, name, unknown_data);
}

} // namespace veltra
