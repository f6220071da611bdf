#include <clocale>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "veltool/frontend.h"

int main(int argc, char** argv) {
    // A host file that grows past the size limit then fails its write with EFBIG, which is
    // reported like any other failed write, instead of ending the process unannounced.
    std::signal(SIGXFSZ, SIG_IGN);
    std::setlocale(LC_ALL, "");
    // Without TZ the C library looks at the system's time-zone file again on every mktime, one
    // stat per date converted; naming that same file in TZ lets it be read once.
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
    tzset();
    return veltool::run_veltool(argc, argv);
}
