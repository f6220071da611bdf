#include "veltool/commands.h"

#include <strings.h>

#include "veltool/files/contents.h"
#include "veltool/files/copy_delete_rename.h"
#include "veltool/files/read_files.h"
#include "veltool/files/write_files.h"
#include "veltool/listings.h"
#include "veltool/maint/image_creation.h"
#include "veltool/maint/partition.h"
#include "veltool/maint/repair.h"
#include "veltool/maint/revive.h"
#include "veltool/maint/sectors.h"

namespace veltool {

namespace {

// In the order the front end compares them: the first name that matches runs.
// clang-format off
const Command command_table[] = {
    {"new", command_new},
    {"dir", list_directory},
    {"del", delete_files},
    {"ren", rename_files},
    {"cop", copy_files},
    {"rea", read_files},
    {"wri", write_files},
    {"scr", command_scr},
    {"scw", command_scw},
    {"ptr", command_ptr},
    {"ptw", command_ptw},
    {"dcr", command_dcr},
    {"dcw", command_dcw},
    {"old", command_old},
    {"dre", command_dre},
    {"pac", command_pac},
    {"ddi", list_deleted},
    {"rev", command_rev},
    {"res", command_res},
    {"sdi", list_sorted},
    {"lis", list_files},
    {"fix", command_fix},
    {"sum", checksum_files},
    {"oct", dump_files},
};
// clang-format on

} // namespace

const Command* find_command(const std::string& text) {
    for (const Command& command : command_table) {
        if (strncasecmp(text.c_str(), command.name, 3) == 0) return &command;
    }
    return nullptr;
}

} // namespace veltool
