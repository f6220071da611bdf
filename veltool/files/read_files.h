// rea: copies files of the disk image into host files, one host file per file.
#pragma once

#include "veltool/options.h"

namespace veltool {

// Letters R V A D B P; -f prefix and -e suffix of the host names; -r, -z and the name
// patterns select the files (no pattern selects none).
void read_files(const Options& options);

} // namespace veltool
