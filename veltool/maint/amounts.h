// Sizes typed on the command line as a number and a unit letter ("%i%c"): 64-bit, and
// saturated rather than wrapped, so that a size too large for any disk stays too large.
#pragma once

#include <cstdint>
#include <string>

namespace veltool {

struct Amount {
    std::int64_t number = 0; // 0 when the text does not begin with a number
    char unit = '\0';        // the character right after the number, '\0' when none
};

Amount scan_amount(const std::string& text);

// number * factor, held at the int64 limits instead of overflowing.
std::int64_t saturated_product(std::int64_t number, std::int64_t factor);

} // namespace veltool
