#include <csignal>

#include "common/help.h"
#include "veltool/frontend.h"
#include "veltool/help.h"

int main(int argc, char** argv) {
    // A host file that grows past the size limit then fails its write with EFBIG, which is
    // reported like any other failed write, instead of ending the process unannounced.
    std::signal(SIGXFSZ, SIG_IGN);
    // The option letters that take a value (-c --help names a comment, as it always did).
    constexpr const char* VALUED_LETTERS = "abcdefgilnorsu";
    if (kavolt::answer_help_request(
            argc, argv, "veltool", [&] { return veltool::help_text(argc, argv); }, VALUED_LETTERS))
        return 0;
    return veltool::run_veltool(argc, argv);
}
