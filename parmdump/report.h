// The parameter report of one kind: header, acquisition, plotting, automation and
// processing blocks, then the HALVOR block and, for TORGIL, the second parameter sector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "parmdump/identify.h"
#include "parmdump/values.h"

namespace parmdump {

void print_report(Kind kind, Loaded& loaded);

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
