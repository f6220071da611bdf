#include "parmdump/parmdump.h"

int main(int argc, char** argv) {
    return parmdump::run_parmdump(argc, argv);
}
