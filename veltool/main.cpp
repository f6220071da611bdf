#include <clocale>
#include <csignal>
#include <cstdlib>
#include <ctime>

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
    std::setlocale(LC_ALL, "");
    // Without TZ the C library looks at the system's time-zone file again on every mktime, one
    // stat per date converted; naming that same file in TZ lets it be read once.
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
    tzset();
    return veltool::run_veltool(argc, argv);
}
