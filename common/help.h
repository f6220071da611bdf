// --help and --version, answered by every program before its normal run.
#pragma once

#include <functional>
#include <string>

namespace kavolt {

// When one of the words before a "--" is exactly "--version", prints the program name and
// the version; else, when one is exactly "--help", prints the text help() returns. True when
// it answered (the program then ends with status 0), false when the run goes on as usual.
// With valued_letters (the option letters that take a value), the words are read as the option
// parser reads them: a value (-c --help) is no request, and the options end at the first word
// that is none.
bool answer_help_request(int argc, char** argv, const char* program, const std::function<std::string()>& help,
                         const char* valued_letters = nullptr);

} // namespace kavolt
