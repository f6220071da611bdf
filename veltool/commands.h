// The 24 commands of veltool and the table the front end finds them in.
#pragma once

#include <string>

#include "veltool/image/image.h"
#include "veltool/options.h"

namespace veltool {

// The handler of a command is command_ followed by its name; it works on the image as the
// command's entry in the table says, and prints to the image's output.
using Handler = void (*)(Image& image, const Options& options);

struct Command {
    const char* name;
    Handler handler;
    ImageUse use;
};

// The command whose name equals the first three characters of text, without regard to
// case; nullptr when none does.
const Command* find_command(const std::string& text);

// Runs the command on the image, which is open and locked as its use says (new: or not yet
// open), and flushes an image that it changed. An error of the command goes to the image's
// reporter, whose error() ends the call by throwing.
void run_command(Image& image, const Command& command, const Options& options);

// Directory listings (listings.cpp).
void command_dir(Image& image, const Options& options);
void command_ddi(Image& image, const Options& options); // deleted files found in the free areas
void command_sdi(Image& image, const Options& options); // sorted by name, size (-m) or date (-t)

// Files inside the image (files/).
void command_del(Image& image,
                 const Options& options); // areas become EMPTY, merged when the directory is written
void command_ren(Image& image,
                 const Options& options); // new names and changed fields of the directory sectors
void command_cop(Image& image,
                 const Options& options); // sector by sector into free space, under the destination name
// Letters R V A D B P; -f prefix and -e suffix of the host names; -r, -z and the name
// patterns select the files (no pattern selects none).
void command_rea(Image& image, const Options& options);
// Letters Y F V O A D B P; the arguments are the host files, written in order.
void command_wri(Image& image, const Options& options);
void command_lis(Image& image, const Options& options); // the selected files as host text
void command_sum(Image& image, const Options& options); // size and checksum, in full-name order
void command_oct(Image& image, const Options& options); // word by word, as bytes or as characters

// The whole image (maint/).
void command_new(Image& image, const Options& options);
void command_old(Image& image, const Options& options); // the system area out to a host file
void command_scr(Image& image, const Options& options); // raw sectors out to a sector image
void command_scw(Image& image, const Options& options); // raw sectors in from a sector image
void command_ptr(Image& image, const Options& options);
void command_ptw(Image& image, const Options& options);
void command_dcr(Image& image, const Options& options);
void command_dcw(Image& image, const Options& options);
void command_dre(Image& image, const Options& options); // the directory rebuilt from the directory sectors
void command_pac(Image& image, const Options& options); // the files moved together towards the start
void command_rev(Image& image, const Options& options);
void command_res(Image& image, const Options& options);
void command_fix(Image& image, const Options& options);

} // namespace veltool
