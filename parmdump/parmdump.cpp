#include "parmdump/parmdump.h"

#include <clocale>
#include <cstdio>

#include "veltra/parameters.h"

namespace parmdump {

int run_parmdump(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const char* invocation = argc > 0 && argv[0] != nullptr ? argv[0] : "parmdump";
    if (argc < 2) {
        std::printf("Usage: %s filename\n", invocation);
        return 1;
    }
    try {
        veltra::ParameterReport report =
            veltra::parameters(argv[1], veltra::unknown_data_for_program(invocation));
        std::fwrite(report.text.data(), 1, report.text.size(), stdout);
    } catch (const veltra::Error& error) {
        std::printf("%s\n", error.what());
        return 1;
    }
    return 0;
}

} // namespace parmdump
