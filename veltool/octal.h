// Numbers for "%llo" fields: a value that fits a 32-bit int prints as the C library prints
// that int in octal (a negative one as its 32-bit two's complement); a larger one in full.
#pragma once

#include <cstdint>

namespace veltool {

constexpr unsigned long long octal(std::int64_t value) {
    if (value >= INT32_MIN && value <= INT32_MAX)
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
    return static_cast<unsigned long long>(value);
}

} // namespace veltool
