// The text of veltool --help: the commands in one line each, or one command in full.
#pragma once

#include <string>

namespace veltool {

// The command comes from -i, else from the invocation name (VEL and its three letters);
// a name that is no command gives the list of all commands.
std::string help_text(int argc, char** argv);

} // namespace veltool
