#include "veltool/commands.h"

#include <strings.h>

#include "veltool/image/io.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// In the order the front end compares them: the first name that matches runs.
// clang-format off
const Command command_table[] = {
    {"new", command_new, ImageUse::creates},
    {"dir", command_dir, ImageUse::reads, true},
    {"del", command_del, ImageUse::changes},
    {"ren", command_ren, ImageUse::changes},
    {"cop", command_cop, ImageUse::changes},
    {"rea", command_rea, ImageUse::reads},
    {"wri", command_wri, ImageUse::changes},
    {"scr", command_scr, ImageUse::reads},
    {"scw", command_scw, ImageUse::changes},
    {"ptr", command_ptr, ImageUse::reads, true},
    {"ptw", command_ptw, ImageUse::changes},
    {"dcr", command_dcr, ImageUse::reads, true},
    {"dcw", command_dcw, ImageUse::changes},
    {"old", command_old, ImageUse::reads},
    {"dre", command_dre, ImageUse::changes},
    {"pac", command_pac, ImageUse::changes},
    {"ddi", command_ddi, ImageUse::reads, true},
    {"rev", command_rev, ImageUse::changes},
    {"res", command_res, ImageUse::changes},
    {"sdi", command_sdi, ImageUse::reads, true},
    {"lis", command_lis, ImageUse::reads},
    {"fix", command_fix, ImageUse::changes},
    {"sum", command_sum, ImageUse::reads, true},
    {"oct", command_oct, ImageUse::reads},
};
// clang-format on

} // namespace

const Command* find_command(const std::string& text) {
    for (const Command& command : command_table) {
        if (strncasecmp(text.c_str(), command.name, 3) == 0) return &command;
    }
    return nullptr;
}

void run_command(Image& image, const Command& command, const Options& options) {
    try {
        if (options.json && !command.json) fatal(0, "illegal option \"--json\"");
        if (command.use == ImageUse::changes) {
            run_change(image, [&] { command.handler(image, options); });
        } else {
            command.handler(image, options);
            if (command.use == ImageUse::creates) flush_image(image);
        }
    } catch (const veltra::Error& error) {
        image.reporter.error(error.what(), error.errnum());
    }
}

} // namespace veltool
