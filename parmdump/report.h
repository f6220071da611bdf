// The parameter report of one kind: header, acquisition, plotting, automation and
// processing blocks, then the HALVOR block and, for TORGIL, the second parameter sector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "parmdump/identify.h"
#include "parmdump/values.h"
#include "veltra/parameters.h"

namespace parmdump {

// Writes a report's text and, beside it, its parameters as records.
class ReportWriter {
  public:
    explicit ReportWriter(veltra::ParameterReport& report) : report_(report) {}
    // Starts the report of a kind: its parameters stand in the header until the first heading.
    void start(Kind kind);
    // Text that holds no parameter.
    void text(std::string_view text) { report_.text += text; }
    // The heading line of a block, "\n    TITLE\n"; the parameters after it stand in it.
    void heading(const std::string& title);
    // `label`, then `value` and, when there is a unit, " " and the unit; a parameter `name`.
    void parameter(const std::string& name, std::string_view label, const std::string& value,
                   const std::string& unit = "");
    // The common form: "NAME=" left-justified in 8 columns, then the value.
    void field(const std::string& name, const std::string& value);
    // A line of one or two fields, four blanks between them.
    void line(const std::string& name, const std::string& value, const std::string& name2 = "",
              const std::string& value2 = "");

  private:
    veltra::ParameterReport& report_;
    std::string kind_;
    std::string block_;
};

// Writes the report of one kind of the loaded parameter sector.
void write_report(ReportWriter& out, Kind kind, Loaded& loaded);

// Header pieces.
std::string attribute_letters(std::uint32_t attributes);
// The PR code of the processing word (bits 0 to 11).
std::string processing_code(std::uint32_t p);
// RG of FENDAR data from its gain bits.
int gain_code(std::uint32_t g);
// t as local time in a strftime format, as it fits a buffer of `size` bytes (at most size - 1
// characters); empty when it does not fit.
std::string format_date(std::time_t t, const char* format, std::size_t size);

} // namespace parmdump
