// --help and --version, answered by every program before its normal run.
#pragma once

#include <functional>
#include <string>

namespace kavolt {

// When one of the words before a "--" is exactly "--version", prints the program name and
// the version; else, when one is exactly "--help", prints the text help() returns. True when
// it answered (the program then ends with status 0), false when the run goes on as usual.
bool answer_help_request(int argc, char** argv, const char* program,
                         const std::function<std::string()>& help);

} // namespace kavolt
