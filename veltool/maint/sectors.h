// Raw sector transfer between the disk image and a sector image: scr, scw.
#pragma once

#include "veltool/options.h"

namespace veltool {

void command_scr(const Options& options);
void command_scw(const Options& options);

} // namespace veltool
