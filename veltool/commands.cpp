#include "veltool/commands.h"

#include <strings.h>

#include "veltool/files/copy_delete_rename.h"
#include "veltool/files/inspection.h"
#include "veltool/files/read_files.h"
#include "veltool/files/write_files.h"
#include "veltool/listings.h"
#include "veltool/maint/partition.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// Commands whose family is not part of this build yet.
void unavailable(const Options& options) {
    fatal(0, "command \"%.3s\" is not available in this version of veltool", options.command.c_str());
}

// In the order the front end compares them: the first name that matches runs.
// clang-format off
const Command command_table[] = {
    {"new", unavailable},
    {"dir", list_directory},
    {"del", delete_files},
    {"ren", rename_files},
    {"cop", copy_files},
    {"rea", read_files},
    {"wri", write_files},
    {"scr", unavailable},
    {"scw", unavailable},
    {"ptr", command_ptr},
    {"ptw", command_ptw},
    {"dcr", command_dcr},
    {"dcw", command_dcw},
    {"old", unavailable},
    {"dre", unavailable},
    {"pac", unavailable},
    {"ddi", list_deleted},
    {"rev", unavailable},
    {"res", unavailable},
    {"sdi", list_sorted},
    {"lis", list_files},
    {"fix", unavailable},
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
