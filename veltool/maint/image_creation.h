// Creating and initialising disk images, and moving the system area in and out: new, old.
#pragma once

#include "veltool/options.h"

namespace veltool {

// The largest disk the directory header can describe, in sectors.
constexpr std::int64_t LARGEST_DISK_SECTORS = 0x7FFFFF;

void command_new(const Options& options);
void command_old(const Options& options);

} // namespace veltool
