#include <csignal>

#include "veltool/frontend.h"

int main(int argc, char** argv) {
    // A host file that grows past the size limit then fails its write with EFBIG, which is
    // reported like any other failed write, instead of ending the process unannounced.
    std::signal(SIGXFSZ, SIG_IGN);
    return veltool::run_veltool(argc, argv);
}
