// The file system operations of the mount: one folder holding the image's files, read-only.
#pragma once

#define FUSE_USE_VERSION 35
#include <fuse.h>

namespace velmount {

// The operations; each finds its MountedImage as the mount's private data.
fuse_operations mount_operations();

} // namespace velmount
