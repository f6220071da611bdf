#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/run.h"
#include "veltool/commands.h"
#include "veltool/options.h"
#include "veltool/report.h"
#include "veltool/state.h"

using namespace veltool;
using test::run_program;
using test::run_vel;
using test::TempDir;

namespace {

Options parse(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    return parse_options(static_cast<int>(words.size()), argv.data());
}

std::string image_of(const TempDir& dir, std::int64_t bytes) {
    std::string path = dir.file("disk.img");
    test::write_file(path, std::vector<std::uint8_t>(static_cast<std::size_t>(bytes), 0));
    return path;
}

} // namespace

TEST(Invocation, CommandFromTheProgramName) {
    EXPECT_EQ(command_from_invocation("VELDIR"), "DIR");
    EXPECT_EQ(command_from_invocation("/usr/bin/veldir"), "dir");
    EXPECT_EQ(command_from_invocation("./VelRea"), "Rea");
    EXPECT_EQ(command_from_invocation("VELDIRECTORY"), "DIR");
    EXPECT_EQ(command_from_invocation("VEL"), "");
    EXPECT_EQ(command_from_invocation("VELDI"), "DI");
    EXPECT_EQ(command_from_invocation("veltool"), "too");
    EXPECT_EQ(command_from_invocation("tool"), "DIR");
    EXPECT_EQ(command_from_invocation("VE"), "DIR");
    EXPECT_EQ(command_from_invocation("dir\\VELREA"), "DIR");
    EXPECT_EQ(command_from_invocation("VELREA/foo"), "DIR");
}

TEST(Invocation, CommandTableMatchesThreeCharacters) {
    ASSERT_NE(find_command("del"), nullptr);
    EXPECT_STREQ(find_command("DEL")->name, "del");
    EXPECT_STREQ(find_command("delete")->name, "del");
    EXPECT_STREQ(find_command("directory")->name, "dir");
    EXPECT_EQ(find_command("xyz"), nullptr);
    EXPECT_EQ(find_command(""), nullptr);
    EXPECT_EQ(find_command("di"), nullptr);
    const char* names[] = {"new", "dir", "del", "ren", "cop", "rea", "wri", "scr",
                           "scw", "ptr", "ptw", "dcr", "dcw", "old", "dre", "pac",
                           "ddi", "rev", "res", "sdi", "lis", "fix", "sum", "oct"};
    for (const char* name : names) {
        ASSERT_NE(find_command(name), nullptr) << name;
        EXPECT_STREQ(find_command(name)->name, name);
    }
}

TEST(Options, StartingValues) {
    Options o = parse({"VELDIR"});
    EXPECT_EQ(o.command, "DIR");
    EXPECT_EQ(o.directory_blocks, 128);
    EXPECT_EQ(o.program_start, -1);
    EXPECT_EQ(o.load_address, -1);
    EXPECT_EQ(o.user_info_address, -1);
    EXPECT_EQ(o.user_info_size, -1);
    EXPECT_EQ(o.line_count, 0);
    EXPECT_EQ(o.sort_mode, SortMode::by_name);
    EXPECT_TRUE(o.date_bound.empty());
    EXPECT_TRUE(o.tag_pattern.empty());
    EXPECT_TRUE(o.new_tag.empty());
    EXPECT_FALSE(o.include_untagged);
    EXPECT_TRUE(o.arguments.empty());
    EXPECT_EQ(o.sort_direction, 1);
}

TEST(Options, IntegersReadAsPercentI) {
    EXPECT_EQ(parse({"x", "-b", "0x40"}).directory_blocks, 64);
    EXPECT_EQ(parse({"x", "-b", "0100"}).directory_blocks, 64);
    EXPECT_EQ(parse({"x", "-b", "abc"}).directory_blocks, 128);
    EXPECT_EQ(parse({"x", "-b", "12abc"}).directory_blocks, 12);
    EXPECT_EQ(parse({"x", "-g", " -5"}).program_start, -5);
    EXPECT_EQ(parse({"x", "-l", "+7"}).load_address, 7);
    EXPECT_EQ(parse({"x", "-b", "16", "-b", "x"}).directory_blocks, 16);
    EXPECT_EQ(parse({"x", "-s", "4294967304"}).user_info_size, 4294967304);
    EXPECT_EQ(parse({"x", "-u010"}).user_info_address, 8);
}

TEST(Options, OptionalArgumentsMustBeAttached) {
    EXPECT_EQ(parse({"x", "-h"}).line_count, 20);
    EXPECT_EQ(parse({"x", "-h5"}).line_count, 5);
    Options spaced = parse({"x", "-h", "5"});
    EXPECT_EQ(spaced.line_count, 20);
    EXPECT_EQ(spaced.arguments, std::vector<std::string>{"5"});

    Options bound = parse({"x", "-tM"});
    EXPECT_EQ(bound.sort_mode, SortMode::by_date);
    EXPECT_EQ(bound.date_bound, "M");
    EXPECT_TRUE(parse({"x", "-tM", "-t"}).date_bound.empty());
}

TEST(Options, SortModeTheLaterWins) {
    EXPECT_EQ(parse({"x", "-m", "-t"}).sort_mode, SortMode::by_date);
    EXPECT_EQ(parse({"x", "-t", "-m"}).sort_mode, SortMode::by_size);
    EXPECT_EQ(parse({"x", "-w"}).sort_direction, -1);
}

TEST(Options, TagsAreHeldBehindADollar) {
    Options o = parse({"x", "-r", "abc", "-n", "x"});
    EXPECT_EQ(o.tag_pattern, "$abc");
    EXPECT_EQ(o.new_tag, "$x");
    EXPECT_EQ(parse({"x", "-r", ""}).tag_pattern, "$");
}

TEST(Options, ParsingStopsAtTheFirstArgument) {
    Options o = parse({"VELDEL", "-d", "img", "A.B", "-z"});
    EXPECT_EQ(o.arguments, (std::vector<std::string>{"A.B", "-z"}));
    EXPECT_FALSE(o.include_untagged);

    Options dashes = parse({"VELSCR", "-f", "out", "--", "-1", "2"});
    EXPECT_EQ(dashes.arguments, (std::vector<std::string>{"-1", "2"}));
    EXPECT_EQ(parse({"x", "-", "-z"}).arguments, (std::vector<std::string>{"-", "-z"}));
}

TEST(Options, GroupedLettersAndAttachedArguments) {
    Options o = parse({"x", "-mz", "-wdIMAGE"});
    EXPECT_EQ(o.sort_mode, SortMode::by_size);
    EXPECT_TRUE(o.include_untagged);
    EXPECT_EQ(o.disk_image, "IMAGE");
    EXPECT_EQ(o.sort_direction, -1);
    EXPECT_EQ(parse({"x", "-o", "-d"}).letters, "-d");
}

TEST(Options, LongValuesAreHeldWhole) {
    std::string long_value(100000, 'p');
    Options o = parse({"x", "-f", long_value, "-c" + long_value});
    EXPECT_EQ(o.host_file, long_value);
    EXPECT_EQ(o.comment, long_value);
}

TEST(Options, Errors) {
    testing::internal::CaptureStderr();
    EXPECT_THROW(parse({"x", "-x"}), FatalExit);
    EXPECT_THROW(parse({"x", "-d"}), FatalExit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: illegal option \"-x\"\nERROR: missing parameter for option \"-d\"\n");
}

TEST(FrontEnd, NoArgumentsAtAll) {
    auto r = run_vel("DIR", {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: VELTRA disk image filename not specified\n");
}

TEST(FrontEnd, DiskImageIsRequiredBeforeAnythingElse) {
    for (auto args :
         std::vector<std::vector<std::string>>{{"-i", "new", "1000"}, {"-i", "xyz"}, {"-d", ""}}) {
        auto r = run_program(test::veltool_path(), args, "VELDIR");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ERROR: VELTRA disk image filename not specified\n");
    }
}

TEST(FrontEnd, OptionErrors) {
    auto r = run_vel("PTR", {"-q"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: illegal option \"-q\"\n");
    r = run_vel("PTR", {"-d", "x", "-o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: missing parameter for option \"-o\"\n");
    r = run_vel("PTR", {"-d", "x", "-h", "-:"});
    EXPECT_EQ(r.err, "ERROR: illegal option \"-:\"\n");
}

TEST(FrontEnd, ImageThatCannotBeOpened) {
    TempDir dir;
    auto r = run_vel("PTR", {"-d", dir.file("missing.img")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open VELTRA disk image " + dir.file("missing.img") +
                         ":\nNo such file or directory\n");
}

TEST(FrontEnd, IllegalCommandsComeAfterTheOpen) {
    TempDir dir;
    std::string image = image_of(dir, 200 * 768);
    auto r = run_program(test::veltool_path(), {"-d", image}, dir.file("VEL"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: illegal command \"\"\n");

    r = run_vel("PTR", {"-i", "xyz", "-d", image});
    EXPECT_EQ(r.err, "ERROR: illegal command \"xyz\"\n");

    r = run_vel("PTR", {"-i", "xyz", "-d", dir.file("missing")});
    EXPECT_EQ(r.err, "ERROR: cannot open VELTRA disk image " + dir.file("missing") +
                         ":\nNo such file or directory\n");
}

TEST(FrontEnd, CommandFromInvocationNameOrOption) {
    TempDir dir;
    std::string image = image_of(dir, 200 * 768);
    for (const char* name : {"velptw", "VelPtw", "VELPTWX"}) {
        std::string link = dir.file(name);
        ASSERT_EQ(symlink(test::veltool_path().c_str(), link.c_str()), 0);
        auto r = run_program(link, {"-d", image});
        EXPECT_EQ(r.status, 0) << name << r.err;
        EXPECT_EQ(r.err, "");
    }
    auto r = run_program(test::veltool_path(), {"-i", "DCRead", "-d", image}, "anything");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n");
}

TEST(FrontEnd, ImageOpensReadOnlyWhenItCannotBeWritten) {
    TempDir dir;
    // A directory opens for reading only; the command then fails in its own read.
    auto r = run_vel("DCR", {"-d", dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot read disk comment:\nIs a directory\n");

    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
    std::string image = image_of(dir, 200 * 768);
    ASSERT_EQ(chmod(image.c_str(), 0444), 0);
    r = run_vel("PTR", {"-d", image});
    EXPECT_EQ(r.err, "ERROR: INVALID PARTITION TABLE\n");
    r = run_vel("DCW", {"-d", image, "-c", "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write disk comment:\nBad file descriptor\n");
}
