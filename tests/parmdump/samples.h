// Two complete parameter files, one of each kind, with the reports they must give.
#pragma once

#include <string>
#include <vector>

#include "tests/parmdump/parameter_file.h"

namespace test {

// FENDAR data with every header flag that it can show and a value in most parameters.
ParameterSector fendar_sector();
// TORGIL data whose second parameter sector is sector 3 (sector 4 of a single file).
ParameterSector torgil_sector();
// The second TORGIL parameter sector.
ParameterSector torgil_second_sector();
// A single TORGIL file: parameter sector, three data sectors, second parameter sector.
std::vector<std::vector<std::uint8_t>> torgil_sectors();

// The whole output of parmdump for the two files as packed files in the normal order.
extern const std::string FENDAR_REPORT;
extern const std::string TORGIL_REPORT;

} // namespace test
