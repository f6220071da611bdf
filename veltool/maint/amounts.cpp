#include "veltool/maint/amounts.h"

#include <limits>

#include "veltool/options.h"

namespace veltool {

Amount scan_amount(const std::string& text) {
    Amount amount;
    std::size_t used = scan_integer(text, amount.number);
    if (used != 0 && used < text.size()) amount.unit = text[used];
    return amount;
}

std::int64_t saturated_product(std::int64_t number, std::int64_t factor) {
    std::int64_t product = 0;
    if (!__builtin_mul_overflow(number, factor, &product)) return product;
    bool negative = (number < 0) != (factor < 0);
    return negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

} // namespace veltool
