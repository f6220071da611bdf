// Reviving deleted files, reserving space for a file, and fixing file entries: rev, res, fix.
#pragma once

#include <cstdint>
#include <string>

#include "veltool/options.h"

namespace veltool {

// The size argument of res in words: a number of sectors, or with the unit W words, K 1024
// words, M 1048576 words; a negative size counts as 0.
std::int64_t reservation_words(const std::string& text);

} // namespace veltool
