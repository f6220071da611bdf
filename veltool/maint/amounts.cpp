#include "veltool/maint/amounts.h"

#include <cstdlib>
#include <limits>

namespace veltool {

Amount scan_amount(const std::string& text) {
    Amount amount;
    const char* start = text.c_str();
    char* end = nullptr;
    long long number = std::strtoll(start, &end, 0);
    if (end == start) return amount;
    amount.number = number;
    amount.unit = *end;
    return amount;
}

std::int64_t saturated_product(std::int64_t number, std::int64_t factor) {
    std::int64_t product = 0;
    if (!__builtin_mul_overflow(number, factor, &product)) return product;
    bool negative = (number < 0) != (factor < 0);
    return negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

} // namespace veltool
