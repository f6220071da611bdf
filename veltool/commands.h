// The command table of veltool.
#pragma once

#include <string>

#include "veltool/options.h"

namespace veltool {

using Handler = void (*)(const Options& options);

struct Command {
    const char* name;
    Handler handler;
};

// The command whose name equals the first three characters of text, without regard to
// case; nullptr when none does.
const Command* find_command(const std::string& text);

} // namespace veltool
