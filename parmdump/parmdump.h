// A parmdump run from the command line to the exit status.
#pragma once

namespace parmdump {

// Prints the report of the data file named by argv[1] and returns the exit status: 0, or 1
// after an error.
int run_parmdump(int argc, char** argv);

} // namespace parmdump
