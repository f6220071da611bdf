#include "veltool/frontend.h"

int main(int argc, char** argv) {
    return veltool::run_veltool(argc, argv);
}
