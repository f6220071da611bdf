// What every command shares, seen from outside through the shim (tests/support/io_shim.cpp):
// the lock it takes, that a reader writes nothing, that a changer has its data on stable
// storage before it writes the directory blocks and flushes before it exits with 0, and that a
// failed write of the image ends it with exit status 1 and the system's message.
#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

#include "tests/support/disk.h"

using namespace test;

namespace {

// Offsets of the directory blocks: of the larger of the directories before and after.
bool in_directory(std::int64_t offset, std::int64_t blocks) {
    return offset >= 192 * SECTOR && offset < (192 + blocks) * SECTOR;
}

// The faults of a changer's trace: a directory write while other writes are not flushed, and
// a last write not flushed. "" when there is none.
std::string order_faults(const std::string& trace, std::int64_t blocks) {
    std::istringstream in(trace);
    std::string event, faults;
    bool data_unflushed = false, unflushed = false;
    for (std::int64_t offset = 0, n = 0; in >> event;) {
        if (event == "flush") data_unflushed = unflushed = false;
        if (event != "write") continue;
        in >> offset >> n;
        if (!in_directory(offset, blocks)) data_unflushed = true;
        if (in_directory(offset, blocks) && data_unflushed) faults += "directory before data flushed; ";
        unflushed = true;
    }
    return faults + (unflushed ? "no flush after the last write" : "");
}

} // namespace

TEST(EveryCommand, LockFlushOrderAndFailedWrites) {
    // The command with arguments ("@" a host file beside the image), and whether it changes the
    // image. A reader takes a shared lock (S), a changer an exclusive one (X). The message of a
    // changer's failed first write (but new's) is checked in host_faults_test.cpp.
    // clang-format off
    const struct Case {
        std::string command;
        std::vector<std::string> arguments;
        bool changes = true;
        std::string fails = ":\nInput/output error\n"; // the end of standard error when every write fails
    } cases[] = {
        {"DIR", {}, false}, {"SDI", {}, false}, {"DDI", {}, false}, {"REA", {"-f", "@", "A"}, false},
        {"LIS", {"A"}, false}, {"SUM", {"A"}, false}, {"OCT", {"A"}, false}, {"PTR", {}, false},
        {"SCR", {"-f", "@", "0", "1"}, false}, {"DCR", {}, false}, {"OLD", {"-f", "@"}, false},
        {"NEW", {"-o", "F", "400"}, true, "ERROR: cannot write disk sector:\nInput/output error\n"},
        {"DEL", {"A"}}, {"REN", {"A", "C"}}, {"COP", {"A", "C"}}, {"PTW", {}},
        {"WRI", {"-o", "D", "@"}}, {"SCW", {"-o", "F", "-f", "@", "300", "1"}}, {"DCW", {"-c", "X"}},
        {"DRE", {"-b", "8"}}, {"PAC", {}}, {"REV", {"D"}}, {"RES", {"R", "1K"}}, {"FIX", {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        // A of 300 sectors at 201 (cop copies it in the kernel), free space with deleted D, B.
        Bytes image = test::image("1100/8 A:76800 -20 ~D:2000@0 B:300").default_partition_table();
        Disk d(image);
        std::vector<std::string> arguments = c.arguments;
        for (std::string& argument : arguments)
            if (argument == "@") argument = d.host("h", Bytes(2 * SECTOR, 0xC1));
        RunResult r = d.traced(c.command, arguments);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        std::string trace = d.trace();
        std::size_t writes = d.writes();
        if (!c.changes) {
            EXPECT_EQ(trace, "lock S\n") << "a reader wrote";
            continue;
        }
        EXPECT_EQ(trace.substr(0, 7), "lock X\n");
        std::int64_t blocks = std::max<std::int64_t>(d.word(192, 5), 8);
        EXPECT_NE(trace.find("write"), std::string::npos) << "nothing written";
        EXPECT_EQ(order_faults(trace, blocks), "") << trace;

        // Every write fails from the first on (new had emptied the image before).
        d.host("h", Bytes(2 * SECTOR, 0xC1));
        write_file(d.image, image);
        r = d.traced(c.command, arguments, "1+:EIO");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.ends_with(c.fails)) << r.err;
        if (c.command != "NEW") {
            EXPECT_TRUE(d.bytes() == image) << "the image changed";
        }
        // The last write fails: the run ends with the system's message.
        write_file(d.image, image);
        r = d.traced(c.command, arguments, std::to_string(writes) + ":ENOSPC");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(r.err.ends_with(":\nNo space left on device\n")) << r.err;
    }
}
