// Start and end of a veltool run.
#pragma once

namespace veltool {

// Runs one veltool command as the process would with these arguments and returns the exit
// status: 0, or 1 after an error.
int run_veltool(int argc, char** argv);

} // namespace veltool
