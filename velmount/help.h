// The text of velmount --help.
#pragma once

namespace velmount {

inline constexpr const char* HELP =
    "usage: velmount [-o form=B|D|A|P] [-o force] [-f] disk.img MOUNTPOINT\n"
    "Mounts a VELTRA disk image read-only: every file of the image a regular file of\n"
    "MOUNTPOINT, in a host form of veltool rea. fusermount3 -u MOUNTPOINT unmounts it.\n"
    "\n"
    "Options:\n"
    "  -o form=L     host form L: B file image (default), D data only, A text, P 4-byte words\n"
    "  -o force      mount a directory that fails its check\n"
    "  -f            stay in the foreground\n"
    "  -o option     other options go to the FUSE library; options join with commas\n"
    "  --help        this text\n"
    "  --version     the program's version\n"
    "\n"
    "Examples:\n"
    "  velmount disk.img mnt\n"
    "  velmount -o form=A,force disk.img mnt\n";

} // namespace velmount
