// The command table of veltool.
#pragma once

#include <string>

#include "veltool/options.h"

namespace veltool {

using Handler = void (*)(const Options& options);

// What a command does with the disk image, and so the lock it holds on it for the run.
enum class ImageUse {
    reads,   // shared lock: other readers may run beside it
    changes, // exclusive lock, and the image is flushed to stable storage before the run ends
    creates, // new: opens and locks the image itself, before it empties it
};

struct Command {
    const char* name;
    Handler handler;
    ImageUse use;
};

// The command whose name equals the first three characters of text, without regard to
// case; nullptr when none does.
const Command* find_command(const std::string& text);

} // namespace veltool
