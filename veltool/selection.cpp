#include "veltool/selection.h"

#include <cstdio>
#include <fnmatch.h>

namespace veltool {

Selection selection_of(const Options& options, bool all_without_patterns) {
    return Selection{options.tag_pattern, options.include_untagged, options.arguments, all_without_patterns};
}

bool entry_selected(const Selection& selection, const std::string& tag, const std::string& full_name) {
    if (!selection.tag_pattern.empty() && (!selection.include_untagged || !tag.empty())) {
        if (fnmatch(selection.tag_pattern.c_str() + 1, tag.c_str(), FNM_CASEFOLD) != 0) return false;
    }
    if (selection.patterns.empty()) return selection.all_without_patterns;
    for (const std::string& pattern : selection.patterns) {
        if (fnmatch(pattern.c_str(), full_name.c_str(), FNM_CASEFOLD) == 0) return true;
    }
    return false;
}

void report_not_found(std::FILE* out, const std::vector<std::string>& patterns) {
    std::fprintf(out, "FILE NOT FOUND:");
    for (std::size_t i = 0; i < patterns.size(); ++i)
        std::fprintf(out, "%s %s", i == 0 ? "" : ",", patterns[i].c_str());
    std::fprintf(out, "\n");
}

} // namespace veltool
