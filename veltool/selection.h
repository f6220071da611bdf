// Which entries a command works on: the tag pattern of -r (with -z) and the name patterns.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "veltool/options.h"

namespace veltool {

struct Selection {
    std::string tag_pattern; // "$" and the pattern; empty when -r was not given
    bool include_untagged = false;
    std::vector<std::string> patterns;
    bool all_without_patterns = false; // the listings: no name pattern passes every name
};

// The selection of a command whose arguments are all name patterns.
Selection selection_of(const Options& options, bool all_without_patterns);

// Both the tag test and the name test hold; patterns are matched without regard to case.
bool entry_selected(const Selection& selection, const std::string& tag, const std::string& full_name);

// The "FILE NOT FOUND:" line with the patterns, on out.
void report_not_found(std::FILE* out, const std::vector<std::string>& patterns);

} // namespace veltool
