// What every command shares, seen from outside. Through the shim (tests/support/io_shim.cpp):
// the lock it takes, that a reader writes nothing, that a changer has its data on stable
// storage before it writes the directory blocks and flushes before it exits with 0, and that a
// failed write of the image ends it with exit status 1 and the system's message. Faults of the
// host: an image the program may not write, host outputs that cannot take the data, and an
// image cut short inside a file; each is an error with the system's text and exit status 1, and
// the image keeps its bytes. Programs working on one image at the same time: the changing
// commands take turns, readers run beside each other, and a lock held from outside makes a
// changing command wait for it.
#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

// A of 300 sectors at 201 (cop copies it in the kernel) and B, of text bytes with bit 7 set and
// no end marker, so that lis reads A to its end; free space with deleted D between them.
Bytes sample() {
    Bytes text(300 * SECTOR, 0xC1);
    for (std::size_t i = 39; i < text.size(); i += 40)
        text[i] = 0x8A;
    FileSpec a = named("A", 76800, text), b = named("B", 300, text), d = named("D", 2000, text);
    return ImageBuilder(1100).file(a).empty(20).deleted(0, d).file(b).default_partition_table();
}

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

TEST(EveryCommand, LockFlushOrderAndFailedWrites) {
    // A reader takes a shared lock (S), a changer an exclusive one (X).
    const Bytes image = sample();
    for (const Command& c : COMMANDS) {
        SCOPED_TRACE(c.command);
        Disk d(image);
        std::vector<std::string> arguments = d.with_host(c.arguments);
        RunResult r = d.traced(c.command, arguments);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        std::string trace = d.trace();
        std::size_t writes = d.writes();
        if (c.failed_write.empty()) {
            EXPECT_EQ(trace, "lock S\n") << "a reader wrote";
            continue;
        }
        EXPECT_EQ(trace.substr(0, 7), "lock X\n");
        std::int64_t blocks = std::max<std::int64_t>(d.word(192, 5), 8);
        EXPECT_EQ(order_faults(trace, blocks), "") << trace;

        // Every write fails from the first on (new had emptied the image before).
        d.with_host({"@"});
        write_file(d.image, image);
        r = d.traced(c.command, arguments, "1+:EIO");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.ends_with(c.failed_write + ":\nInput/output error\n")) << r.err;
        EXPECT_TRUE(c.command == "NEW" || d.bytes() == image) << "the image changed";
        // The last write fails: the run ends with the system's message.
        write_file(d.image, image);
        r = d.traced(c.command, arguments, std::to_string(writes) + ":ENOSPC");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(r.err.ends_with(":\nNo space left on device\n")) << r.err;
    }
}

// As the superuser the commands on a read-only image run as nobody (setpriv), since file
// permissions do not bind the superuser. A read-only file system is the image bound read-only
// onto itself in a mount namespace of its own, where unshare may make one.
TEST(HostFaults, EveryFaultIsAnErrorAndTheImageKeepsItsBytes) {
    const bool root = geteuid() == 0;
    if (root && access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv to drop privileges";
    auto on_read_only_mount = [](const std::string& path, const std::string& line) {
        return "unshare -rm sh -c 'mount --bind " + path + " " + path + " && mount -o remount,ro,bind " +
               path + " && exec " + line + "'";
    };
    Disk probe(Bytes(1));
    const bool mounts = run_program("/bin/sh", {"-c", on_read_only_mount(probe.image, "true")}).status == 0;
    const Bytes sound = sample(), cut(sound.begin(), sound.begin() + 201 * SECTOR + 1000); // inside A's data
    const std::string full = ":\nNo space left on device\n", short_read = "ERROR: cannot read disk sector\n";
    // How: w the image is read-only, r it is on a read-only file system, f files may hold 1 KiB
    // (and standard output, where the line says so, is /dev/full), c the image is cut short.
    struct Case {
        char how;
        std::string command;
        std::vector<std::string> arguments;
        std::string err; // the end of standard error
    };
    // clang-format off
    std::vector<Case> cases = {
        {'w', "NEW", {"-o", "F", "400"}, "ERROR: cannot create VELTRA disk image IMAGE:\nPermission denied\n"},
        {'r', "DEL", {"A"}, "ERROR: cannot write directory sector:\nRead-only file system\n"},
        {'r', "WRI", {"-o", "D", "@"}, "ERROR: cannot write disk sector:\nRead-only file system\n"},
        {'f', "SCR", {"-f", "/dev/full", "0", "10"}, "ERROR: cannot write sector" + full},
        {'f', "OLD", {"-f", "/dev/full"}, "ERROR: cannot write VELTRA sector" + full},
        {'f', "LIS", {"A", ">/dev/full"}, "ERROR: cannot write standard output" + full},
        {'f', "DIR", {">/dev/full"}, "ERROR: cannot write standard output" + full},
        {'f', "REA", {"-o", "D", "-f", "@", "A"}, "ERROR: cannot write file sector:\nFile too large\n"},
        // The size warnings of the directory check come first.
        {'c', "REA", {"-o", "D", "-f", "@", "A"}, short_read}, {'c', "LIS", {"A"}, short_read},
        {'c', "SUM", {"A"}, short_read}, {'c', "OCT", {"A"}, short_read},
        {'c', "SCR", {"-f", "@", "0", "400"}, "ERROR: ILLEGAL SECTOR LIMITS\n"},
    };
    // clang-format on
    for (const Command& c : COMMANDS) // new's message is its own (above)
        if (c.failed_write != "" && c.command != "NEW")
            cases.push_back({'w', c.command, c.arguments, c.failed_write + ":\nPermission denied\n"});
    for (const Case& c : cases) {
        if (c.how == 'r' && !mounts) continue;
        Disk disk(c.how == 'c' ? cut : sound);
        std::string line = std::string(VELTOOL_BIN_DIR) + "/VEL" + c.command + " -d " + disk.image;
        for (const std::string& argument : disk.with_host(c.arguments))
            line += " " + argument;
        if (c.how == 'w') {
            chmod(disk.dir.path().c_str(), 0755);
            chmod(disk.image.c_str(), 0444);
            if (root) line = "setpriv --reuid=65534 --regid=65534 --clear-groups " + line;
        }
        if (c.how == 'r') line = on_read_only_mount(disk.image, line);
        if (c.how == 'f') line = "ulimit -f 2; exec " + line;
        Bytes before = disk.bytes();
        RunResult r = run_program("/bin/sh", {"-c", line});
        EXPECT_EQ(r.status, 1) << line;
        EXPECT_TRUE(r.err.ends_with(std::regex_replace(c.err, std::regex("IMAGE"), disk.image)))
            << line << r.err;
        EXPECT_EQ(disk.bytes(), before) << line;
    }
}

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
    // The lock each command takes is checked for all above; here the waiting.
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
