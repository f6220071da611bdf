// Process-wide state of a veltool run: the one open disk image and the sort direction.
#pragma once

namespace veltool {

// Descriptor of the open disk image; -1 while none is open.
extern int image_fd;
// +1, or -1 after option -w: turns the size and date orders around.
extern int sort_direction;

} // namespace veltool
