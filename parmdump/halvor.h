// The HALVOR parameters derived from a report's values, and the block of the second TORGIL
// parameter sector.
#pragma once

#include "parmdump/identify.h"
#include "parmdump/report.h"
#include "parmdump/values.h"

namespace parmdump {

void write_halvor_block(ReportWriter& out, const Sector& sector, Kind kind, const Values& v);

// Loads the second parameter sector named by word 117 and writes its D, C and K lists, or
// the line saying that it is not available.
void write_second_sector_block(ReportWriter& out, Loaded& loaded);

} // namespace parmdump
