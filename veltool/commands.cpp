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
    {"new", command_new, ImageUse::creates},
    {"dir", list_directory, ImageUse::reads},
    {"del", delete_files, ImageUse::changes},
    {"ren", rename_files, ImageUse::changes},
    {"cop", copy_files, ImageUse::changes},
    {"rea", read_files, ImageUse::reads},
    {"wri", write_files, ImageUse::changes},
    {"scr", command_scr, ImageUse::reads},
    {"scw", command_scw, ImageUse::changes},
    {"ptr", command_ptr, ImageUse::reads},
    {"ptw", command_ptw, ImageUse::changes},
    {"dcr", command_dcr, ImageUse::reads},
    {"dcw", command_dcw, ImageUse::changes},
    {"old", command_old, ImageUse::reads},
    {"dre", command_dre, ImageUse::changes},
    {"pac", command_pac, ImageUse::changes},
    {"ddi", list_deleted, ImageUse::reads},
    {"rev", command_rev, ImageUse::changes},
    {"res", command_res, ImageUse::changes},
    {"sdi", list_sorted, ImageUse::reads},
    {"lis", list_files, ImageUse::reads},
    {"fix", command_fix, ImageUse::changes},
    {"sum", checksum_files, ImageUse::reads},
    {"oct", dump_files, ImageUse::reads},
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
