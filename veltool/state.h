// Process-wide state of a veltool run: the one open disk image.
#pragma once

namespace veltool {

// Descriptor of the open disk image; -1 while none is open.
extern int image_fd;

} // namespace veltool
