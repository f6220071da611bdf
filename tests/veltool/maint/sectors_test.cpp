// scr and scw end to end: FIRST and COUNT in every notation, the limits, the force rule and
// the bytes moved.
#include <gtest/gtest.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

const std::string ILLEGAL = "ERROR: ILLEGAL SECTOR LIMITS\n";
const std::vector<std::uint8_t> TEN = pattern(10 * SECTOR, 1); // an image of 10 sectors

} // namespace

TEST(Scr, LimitsInEveryNotation) {
    struct Case {
        std::vector<std::string> arguments;
        std::int64_t first, count; // count 0: refused with err
        std::string err;
    } cases[] = {
        // clang-format off
        {{"0"}, 0, 1, ""}, {{"--", "-1"}, 9, 1, ""}, {{"--", "-10", "2"}, 0, 2, ""}, {{"7", "3"}, 7, 3, ""},
        {{"010"}, 8, 1, ""}, {{"0x2", "2", "ignored"}, 2, 2, ""}, {{"x", "y"}, 0, 1, ""},
        {{"--", "-11"}, 0, 0, ILLEGAL}, {{"8", "3"}, 0, 0, ILLEGAL}, {{"10"}, 0, 0, ILLEGAL},
        {{"3", "0"}, 0, 0, ILLEGAL}, {{"3", "-1"}, 0, 0, ILLEGAL},
        {{"0", "99999999999999999999"}, 0, 0, ILLEGAL},
        {{"-1"}, 0, 0, "ERROR: illegal option \"-1\"\n"}, {{}, 0, 0, "ERROR: SECTOR LIMITS NOT SPECIFIED\n"},
        // clang-format on
    };
    for (const Case& c : cases) {
        Disk d(TEN);
        std::string out = d.dir.file("out.img");
        std::vector<std::string> arguments{"-f", out};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(outcome(d.run("SCR", arguments)), (c.count == 0 ? "1||" : "0||") + c.err)
            << c.arguments.size();
        if (c.count > 0) {
            EXPECT_EQ(read_file(out), sectors_of(TEN, c.first, c.count)) << c.first;
        }
    }
    EXPECT_EQ(Disk(TEN).run("SCR", {"0"}).err, "ERROR: sector image filename not specified\n");
}

TEST(Scw, WritesOnlyWithForceAndWithinBothFiles) {
    Disk d(TEN);
    std::string in = d.dir.file("in.img");
    write_file(in, pattern(3 * SECTOR + 5, 2));
    const std::string partial = "WARNING: sector image size is not a multiple of KAVOLT sector size\n";
    EXPECT_EQ(d.run("SCW", {"-f", in, "5", "4"}).err, partial + ILLEGAL);
    EXPECT_EQ(d.run("SCW", {"-o", "F", "-f", in, "8", "3"}).err, ILLEGAL);
    EXPECT_EQ(d.run("SCW", {"-f", in, "5", "3"}).err,
              partial + "ERROR: DIRECT WRITING VELTRA DISK SECTORS DANGEROUS !\n");
    EXPECT_EQ(d.bytes(), TEN);

    EXPECT_EQ(outcome(d.run("SCW", {"-o", "f", "-f", in, "--", "-3", "2"})), "0||" + partial);
    auto expected = TEN;
    std::copy_n(pattern(2 * SECTOR, 2).begin(), 2 * SECTOR, expected.begin() + 7 * SECTOR);
    EXPECT_EQ(d.bytes(), expected);

    std::string missing = d.dir.file("missing.img");
    EXPECT_EQ(d.run("SCW", {"-o", "F", "-f", missing, "0"}).err,
              "ERROR: cannot open sector image file " + missing + ":\nNo such file or directory\n");
}
