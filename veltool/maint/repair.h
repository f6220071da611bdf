// Rebuilding the directory from the directory sectors on the disk, and packing the disk:
// dre, pac.
#pragma once

#include "veltool/options.h"

namespace veltool {

void command_dre(const Options& options);
void command_pac(const Options& options);

} // namespace veltool
