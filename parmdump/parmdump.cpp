#include "parmdump/parmdump.h"

#include <clocale>
#include <cstdio>

#include "parmdump/identify.h"
#include "parmdump/report.h"

namespace parmdump {

int run_parmdump(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const char* invocation = argc > 0 && argv[0] != nullptr ? argv[0] : "parmdump";
    if (argc < 2) {
        std::printf("Usage: %s filename\n", invocation);
        return 1;
    }
    std::optional<Loaded> loaded = load_parameter_sector(argv[1]);
    if (!loaded) return 1;
    Kinds kinds = decide_kinds(loaded->sector, invocation);
    if (kinds.fendar) print_report(Kind::fendar, *loaded);
    if (kinds.torgil) print_report(Kind::torgil, *loaded);
    return 0;
}

} // namespace parmdump
