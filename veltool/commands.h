// The 24 commands of veltool and the table the front end finds them in.
#pragma once

#include <string>

#include "veltool/options.h"

namespace veltool {

// The handler of a command is command_ followed by its name; it works on the run's image
// (image_fd) as the command's entry in the table says.
using Handler = void (*)(const Options& options);

// What a command does with the disk image: whether the front end opens it, and the lock it
// holds on it for the run.
enum class ImageUse {
    reads,   // opened by the front end, shared lock: other readers may run beside it
    changes, // opened by the front end, exclusive lock; flushed to stable storage before the run ends
    creates, // new: not opened by the front end; the command creates or opens and locks it itself
};

struct Command {
    const char* name;
    Handler handler;
    ImageUse use;
};

// The command whose name equals the first three characters of text, without regard to
// case; nullptr when none does.
const Command* find_command(const std::string& text);

// Directory listings (listings.cpp).
void command_dir(const Options& options);
void command_ddi(const Options& options); // deleted files found in the free areas
void command_sdi(const Options& options); // sorted by name, size (-m) or date (-t)

// Files inside the image (files/).
void command_del(const Options& options); // areas become EMPTY, merged when the directory is written
void command_ren(const Options& options); // new names and changed fields of the directory sectors
void command_cop(const Options& options); // sector by sector into free space, under the destination name
// Letters R V A D B P; -f prefix and -e suffix of the host names; -r, -z and the name
// patterns select the files (no pattern selects none).
void command_rea(const Options& options);
// Letters Y F V O A D B P; the arguments are the host files, written in order.
void command_wri(const Options& options);
void command_lis(const Options& options); // the selected files as host text
void command_sum(const Options& options); // size and checksum, in full-name order
void command_oct(const Options& options); // word by word, as bytes or as characters

// The whole image (maint/).
void command_new(const Options& options);
void command_old(const Options& options); // the system area out to a host file
void command_scr(const Options& options); // raw sectors out to a sector image
void command_scw(const Options& options); // raw sectors in from a sector image
void command_ptr(const Options& options);
void command_ptw(const Options& options);
void command_dcr(const Options& options);
void command_dcw(const Options& options);
void command_dre(const Options& options); // the directory rebuilt from the directory sectors
void command_pac(const Options& options); // the files moved together towards the start
void command_rev(const Options& options);
void command_res(const Options& options);
void command_fix(const Options& options);

} // namespace veltool
