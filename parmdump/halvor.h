// The HALVOR parameters derived from a report's values, and the block of the second TORGIL
// parameter sector.
#pragma once

#include "parmdump/identify.h"
#include "parmdump/values.h"

namespace parmdump {

void print_halvor_block(const Sector& sector, Kind kind, const Values& v);

// Loads the second parameter sector named by word 117 and prints its D, C and K lists, or
// the line saying that it is not available.
void print_second_sector_block(Loaded& loaded);

} // namespace parmdump
