#include "common/help.h"

#include <cstdio>
#include <cstring>

namespace kavolt {

bool answer_help_request(int argc, char** argv, const char* program,
                         const std::function<std::string()>& help) {
    bool wants_help = false;
    for (int i = 1; i < argc && argv[i] != nullptr && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, KAVOLT_VERSION);
            return true;
        }
        wants_help = wants_help || std::strcmp(argv[i], "--help") == 0;
    }
    if (wants_help) std::fputs(help().c_str(), stdout);
    return wants_help;
}

} // namespace kavolt
