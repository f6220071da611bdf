// The front end: the command from the invocation name or -i, the options, and what comes
// before any command runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/disk.h"

using namespace test;

TEST(FrontEnd, ErrorsBeforeTheCommand) {
    TempDir dir;
    std::string image = dir.file("disk.img"), missing = dir.file("missing");
    write_file(image, Bytes(200 * SECTOR));
    const std::string no_image = "1||ERROR: VELTRA disk image filename not specified\n";
    const std::string not_open =
        "1||ERROR: cannot open VELTRA disk image " + missing + ":\nNo such file or directory\n";
    struct Case {
        std::string argv0;
        std::vector<std::string> arguments;
        std::string outcome;
    } cases[] = {
        // clang-format off
        {"VELDIR", {}, no_image}, {"VELDIR", {"-i", "new", "1000"}, no_image},
        {"VELDIR", {"-d", ""}, no_image}, {"VELPTR", {"-q"}, "1||ERROR: illegal option \"-q\"\n"},
        {"VELPTR", {"-d", "x", "-o"}, "1||ERROR: missing parameter for option \"-o\"\n"},
        {"VELPTR", {"-d", "x", "-h", "-:"}, "1||ERROR: illegal option \"-:\"\n"},
        {"VELPTR", {"-d", missing}, not_open}, {"VELPTR", {"-i", "xyz", "-d", missing}, not_open},
        {"VEL", {"-d", image}, "1||ERROR: illegal command \"\"\n"},
        {"VELPTR", {"-i", "xyz", "-d", image}, "1||ERROR: illegal command \"xyz\"\n"},
        // A directory opens for reading only; the command then fails in its own read.
        {"VELDCR", {"-d", dir.path()}, "1||ERROR: cannot read disk comment:\nIs a directory\n"},
        {"anything", {"-i", "DCRead", "-d", image}, "0|\n|"},
        {"VELDCW", {"-i", "dcwrite", "-c", "x", "-d", image}, "0||"},
        {"VELSCW", {"-i", "scr", "-d", image, "-f", dir.file("s"), "1"}, "0||"},
        // clang-format on
    };
    for (const Case& c : cases)
        EXPECT_EQ(outcome(run_program(VELTOOL_PATH, c.arguments, c.argv0)), c.outcome) << c.argv0;

    for (const char* name : {"velptw", "VelPtw", "VELPTWX"}) {
        ASSERT_EQ(symlink(VELTOOL_PATH, dir.file(name).c_str()), 0);
        EXPECT_EQ(outcome(run_program(dir.file(name), {"-d", image})), "0||") << name;
    }
}

TEST(FrontEnd, OptionsTheCommandsSee) {
    // Optional arguments must be attached; parsing stops at the first argument; -w reverses
    // whatever sort comes; the later of -m and -t decides.
    Disk d(image("400 BETA:300 ALPHA:10 BRAVO:10"));
    for (auto [arguments, out] :
         {std::pair{std::vector<std::string>{"-o", "n"}, "ALPHA        \n\nBETA         \nBRAVO        \n"},
          {{"-mwon"}, "ALPHA        \nBRAVO        \n\nBETA         \n"},
          {{"-t", "-m", "-o", "n"}, "BETA         \n\nALPHA        \nBRAVO        \n"},
          {{"-o", "n", "--", "-w"}, ""},
          {{"-o", "n", "B*", "-w"}, "BETA         \nBRAVO        \n"}})
        EXPECT_EQ(outcome(d.run("SDI", arguments)), "0|" + std::string(out) + "|") << arguments[0];
}
