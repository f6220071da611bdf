// Programs working on one image at the same time: the changing commands take turns, readers
// run beside each other, and a lock held from outside makes a changing command wait for it.
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::future<RunResult> start(const Disk& d, const std::string& command, std::vector<std::string> arguments) {
    return std::async(std::launch::async, [&d, command, arguments] { return d.run(command, arguments); });
}

// An open-file-description lock on the whole file, taken as another program would.
bool hold(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

} // namespace

// 25 rounds of 8 changing commands started at once (5 wri, and del, ren, cop of files of the
// round before) with a directory listing running beside them. No file a command reported as
// written may be lost, and no listing may meet a directory half written.
TEST(Concurrency, ChangingCommandsTakeTurns) {
    Disk d;
    ASSERT_EQ(outcome(run_vel("NEW", {"-d", d.image, "-o", "F", "-b", "16", "2000"})), "0||");
    std::map<std::string, Bytes> expected; // full name -> data
    auto write_round = [&](int round) {
        std::vector<std::future<RunResult>> runs;
        for (int k = 0; k < 5; ++k) {
            std::string name = "W" + std::to_string(round) + "K" + std::to_string(k);
            Bytes data = pattern(static_cast<std::size_t>(1500 + 300 * k + 3 * round), round * 8 + k);
            runs.push_back(start(d, "WRI", {"-o", "D", d.host(name + ".dat", data)}));
            expected[name + ".DAT"] = data;
        }
        return runs;
    };
    for (auto& run : write_round(0))
        ASSERT_EQ(outcome(run.get()), "0||");

    for (int round = 1; round <= 25; ++round) {
        std::string before = "W" + std::to_string(round - 1) + "K", r = std::to_string(round);
        std::vector<std::future<RunResult>> runs = write_round(round);
        runs.push_back(start(d, "DEL", {before + "0.DAT"}));
        runs.push_back(start(d, "REN", {before + "1.DAT", "R" + r + ".DAT"}));
        runs.push_back(start(d, "COP", {before + "2.DAT", "C" + r + ".DAT"}));
        auto listing = start(d, "DIR", {});
        for (auto& run : runs)
            EXPECT_EQ(outcome(run.get()), "0||") << "round " << round;
        RunResult seen = listing.get();
        EXPECT_EQ(std::to_string(seen.status) + seen.err, "0") << "round " << round;
        expected.erase(before + "0.DAT");
        expected["R" + r + ".DAT"] = expected.extract(before + "1.DAT").mapped();
        expected["C" + r + ".DAT"] = expected[before + "2.DAT"];
    }

    RunResult listing = d.run("DIR", {"-o", "n"}),
              read = d.run("REA", {"-o", "D", "-f", d.dir.file("out-"), "*"});
    EXPECT_EQ(listing.err + outcome(read), "0||");
    for (const auto& [name, data] : expected)
        EXPECT_EQ(read_file(d.dir.file("out-" + name)), data) << name;
    EXPECT_EQ(std::count(listing.out.begin(), listing.out.end(), '\n'), std::ssize(expected));
}

// A lock held by another program: a changing command waits for its release and then does its
// work (new too, and it empties the image only then); a reading command runs beside another
// reader.
TEST(Concurrency, CommandsWaitForALockHeldOutside) {
    struct Case {
        short held;
        std::string command;
        std::vector<std::string> arguments;
        bool waits;
    };
    // The lock each command takes is checked for all in every_command_test.cpp; here the waiting.
    const Case cases[] = {{F_RDLCK, "DEL", {"A"}, true},
                          {F_RDLCK, "NEW", {"-o", "F", "400"}, true},
                          {F_WRLCK, "DIR", {}, true},
                          {F_RDLCK, "DIR", {}, false}};
    for (const Case& c : cases) {
        Disk d(ImageBuilder(400).file(file_spec("A", 300)));
        Bytes before = d.bytes();
        int fd = open(d.image.c_str(), O_RDWR);
        ASSERT_TRUE(hold(fd, c.held));
        auto started = Clock::now();
        auto run = start(d, c.command, c.arguments);
        bool finished = run.wait_for(milliseconds(c.waits ? 600 : 20000)) == std::future_status::ready;
        EXPECT_EQ(finished, !c.waits) << c.command;
        if (c.waits) {
            EXPECT_EQ(d.bytes(), before) << c.command;
        }
        hold(fd, F_UNLCK);
        RunResult r = run.get();
        EXPECT_EQ(r.status, 0) << c.command << r.err;
        EXPECT_EQ(r.err, "") << c.command;
        EXPECT_EQ(d.bytes() != before, c.command == "DEL" || c.command == "NEW") << c.command;
        if (c.waits) {
            EXPECT_GE(Clock::now() - started, milliseconds(600));
        }
        close(fd);
    }
}
