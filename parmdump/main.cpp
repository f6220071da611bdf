#include "common/help.h"
#include "parmdump/help.h"
#include "parmdump/parmdump.h"

int main(int argc, char** argv) {
    if (kavolt::answer_help_request(argc, argv, "parmdump", [] { return std::string(parmdump::HELP); }))
        return 0;
    return parmdump::run_parmdump(argc, argv);
}
