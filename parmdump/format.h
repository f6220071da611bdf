// printf-style formatting into a string, for the report and the messages.
#pragma once

#include <string>

namespace parmdump {

// The text printf would print for this format and these arguments (a %c of 0 included).
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace parmdump
