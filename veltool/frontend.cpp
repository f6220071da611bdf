#include "veltool/frontend.h"

#include <cerrno>
#include <cstdio>

#include "veltool/commands.h"
#include "veltool/image/image.h"
#include "veltool/options.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// The directory list of the last run, left for the process exit to take back at once:
// taking a full directory's list apart entry by entry would cost its listing a tenth of its
// time. A later run in the same process (the fuzz targets) gives it back.
DirectoryList& left_for_exit = *new DirectoryList;

// Standard output is the host file of the listings and of lis: a write that failed there
// ends the run as any other failed write does.
void finish_output() {
    int error = std::fflush(stdout) != 0 ? errno : 0;
    if (error != 0 || std::ferror(stdout)) fatal(error, "cannot write standard output");
}

void run(int argc, char** argv, Image& image) {
    Options options = parse_options(argc, argv);
    if (options.disk_image.empty()) fatal(0, "VELTRA disk image filename not specified");
    const Command* command = find_command(options.command);
    if (command == nullptr) {
        open_image(image, options.disk_image);
        fatal(0, "illegal command \"%s\"", options.command.c_str());
    }
    if (command->use != ImageUse::creates) hold_image(image, options.disk_image, command->use);
    run_command(image, *command, options);
    finish_output();
}

} // namespace

void CommandLineReporter::warning(const std::string& text, int errnum) {
    print_report("WARNING: ", text, errnum);
}

void CommandLineReporter::error(const std::string& text, int errnum) {
    print_report("ERROR: ", text, errnum);
    throw CommandLineExit{};
}

int run_veltool(int argc, char** argv) {
    CommandLineReporter reporter;
    Image image(reporter, stdout);
    int status = 0;
    try {
        try {
            run(argc, argv, image);
        } catch (const veltra::Error& error) {
            reporter.error(error.what(), error.errnum());
        }
    } catch (const CommandLineExit&) {
        status = 1;
    }
    std::fflush(stdout);
    left_for_exit.swap(image.directory_list);
    return status;
}

} // namespace veltool
