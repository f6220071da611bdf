// Faults of the host end to end: an image the program may not write, host outputs that
// cannot take the data, and an image cut short inside a file. Every one is an error with
// the system's text and exit status 1, and the image keeps its bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/disk.h"

using namespace test;

namespace {

// Text bytes with bit 7 set and no end marker, so that lis reads the file to its end.
Bytes text_data(std::size_t n) {
    Bytes bytes(n, 0xC1);
    for (std::size_t i = 39; i < n; i += 40)
        bytes[i] = 0x8A;
    return bytes;
}

// A and B with data, a deleted D between them, and room behind.
ImageBuilder sample() {
    ImageBuilder b(600);
    b.file(named("A", 700, text_data(2100))).empty(4).deleted(0, named("D", 200, text_data(600)));
    b.file(named("B", 300, text_data(900)));
    return b;
}

struct Case {
    std::string command;
    std::vector<std::string> arguments; // after -d IMAGE; "@" names the host file h beside it
    std::string err;
};

std::vector<std::string> resolved(const Disk& d, std::vector<std::string> arguments) {
    for (std::string& a : arguments)
        if (a == "@") a = d.dir.file("h");
    return arguments;
}

} // namespace

// As the superuser the commands run as nobody (setpriv), since file permissions do not bind
// the superuser; otherwise the image is simply made read-only.
TEST(HostFaults, ImageWithoutWritePermissionIsNeverChanged) {
    const bool root = geteuid() == 0;
    if (root && access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv to drop privileges";
    const std::string no_write = "Bad file descriptor\n";
    const Case cases[] = {
        {"DEL", {"A"}, "ERROR: cannot write directory sector:\n" + no_write},
        {"REN", {"A", "C"}, "ERROR: cannot write directory sector:\n" + no_write},
        {"COP", {"A", "C"}, "ERROR: cannot write disk sector:\n" + no_write},
        {"WRI", {"-o", "D", "@"}, "ERROR: cannot write disk sector:\n" + no_write},
        {"SCW", {"-o", "F", "-f", "@", "300", "1"}, "ERROR: cannot write disk sector:\n" + no_write},
        {"PTW", {}, "ERROR: cannot write disk sector:\n" + no_write},
        {"DCW", {"-c", "X"}, "ERROR: cannot write disk comment:\n" + no_write},
        {"DRE", {"-b", "8"}, "ERROR: cannot write directory blocks:\n" + no_write},
        {"PAC", {}, "ERROR: cannot write directory sector:\n" + no_write},
        {"REV", {"D"}, "ERROR: cannot write directory sector:\n" + no_write},
        {"RES", {"R", "1K"}, "ERROR: cannot write directory sector:\n" + no_write},
        {"FIX", {}, "ERROR: cannot write directory sector:\n" + no_write},
        {"NEW", {"-o", "F", "400"}, "ERROR: cannot create VELTRA disk image IMAGE:\nPermission denied\n"},
    };
    for (const Case& c : cases) {
        Disk d(sample());
        d.host("h", text_data(2 * SECTOR));
        Bytes before = d.bytes();
        chmod(d.dir.path().c_str(), 0755);
        chmod(d.image.c_str(), 0444);
        std::vector<std::string> arguments{"-d", d.image};
        for (const std::string& a : resolved(d, c.arguments))
            arguments.push_back(a);
        std::string program = std::string(VELTOOL_BIN_DIR) + "/VEL" + c.command;
        RunResult r;
        if (root) {
            arguments.insert(arguments.begin(),
                             {"--reuid=65534", "--regid=65534", "--clear-groups", program});
            r = run_program("/usr/bin/setpriv", arguments);
        } else {
            r = run_program(program, arguments);
        }
        std::string err = c.err;
        if (auto at = err.find("IMAGE"); at != std::string::npos) err.replace(at, 5, d.image);
        EXPECT_EQ(r.status, 1) << c.command;
        EXPECT_EQ(r.err, err) << c.command;
        EXPECT_EQ(d.bytes(), before) << c.command;
    }
}

// Host outputs that take no more: a full device, and a file over the size limit.
TEST(HostFaults, FailedHostWritesEndTheRun) {
    const std::string full = "No space left on device\n";
    const Case cases[] = {
        {"SCR", {"-f", "/dev/full", "0", "10"}, "ERROR: cannot write sector:\n" + full},
        {"OLD", {"-f", "/dev/full"}, "ERROR: cannot write VELTRA sector:\n" + full},
        {"LIS", {"A"}, "ERROR: cannot write standard output:\n" + full},
        {"DIR", {}, "ERROR: cannot write standard output:\n" + full},
        {"REA", {"-o", "D", "-f", "@", "A"}, "ERROR: cannot write file sector:\nFile too large\n"},
    };
    for (const Case& c : cases) {
        Disk d(sample());
        Bytes before = d.bytes();
        std::string command = std::string(VELTOOL_BIN_DIR) + "/VEL" + c.command + " -d " + d.image;
        for (const std::string& a : resolved(d, c.arguments))
            command += " " + a;
        // rea's output may hold 1 KiB at most; the listings write on the full device.
        command =
            "ulimit -f 2; exec " + command + (c.command == "LIS" || c.command == "DIR" ? " >/dev/full" : "");
        RunResult r = run_program("/bin/sh", {"-c", command});
        EXPECT_EQ(r.status, 1) << c.command;
        EXPECT_EQ(r.err, c.err) << c.command;
        EXPECT_EQ(d.bytes(), before) << c.command;
    }
}

// The image ends inside the data of A: every command that reads it reports the short read.
TEST(HostFaults, ImageCutShortInsideAFile) {
    const Case cases[] = {
        {"REA", {"-o", "D", "-f", "@", "A"}, "ERROR: cannot read disk sector\n"},
        {"LIS", {"A"}, "ERROR: cannot read disk sector\n"},
        {"SUM", {"A"}, "ERROR: cannot read disk sector\n"},
        {"OCT", {"A"}, "ERROR: cannot read disk sector\n"},
        {"SCR", {"-f", "@", "0", "400"}, "ERROR: ILLEGAL SECTOR LIMITS\n"},
    };
    ImageBuilder builder = sample();
    Bytes cut = builder.build();
    cut.resize(static_cast<std::size_t>(201 * SECTOR + 1000));
    for (const Case& c : cases) {
        Disk d(cut);
        RunResult r = d.run(c.command, resolved(d, c.arguments));
        EXPECT_EQ(r.status, 1) << c.command;
        // The size warnings of the directory check come first; the error is the last line.
        EXPECT_TRUE(r.err.ends_with(c.err)) << c.command << ": " << r.err;
        EXPECT_EQ(d.bytes(), cut) << c.command;
    }
}
