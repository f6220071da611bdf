// wri: copies host files into the disk image, one image file per host file.
#pragma once

#include "veltool/options.h"

namespace veltool {

// Letters Y F V O A D B P; the arguments are the host files, written in order.
void write_files(const Options& options);

} // namespace veltool
