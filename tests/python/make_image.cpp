// Writes an image of the test builder's one-line form (tests/support/disk.h) to a file, for
// the tests of the Python package: make_image PATH "SECTORS[/BLOCKS] NAME:WORDS ...".
#include <cstdio>

#include "tests/support/disk.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_image PATH TEXT\n");
        return 2;
    }
    test::write_file(argv[1], test::image(argv[2]).build());
    return 0;
}
