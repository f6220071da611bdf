// Faults of the host end to end: an image the program may not write, host outputs that
// cannot take the data, and an image cut short inside a file. Every one is an error with
// the system's text and exit status 1, and the image keeps its bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/disk.h"

using namespace test;

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
    TempDir probe;
    write_file(probe.file("p"), Bytes(1));
    const bool mounts =
        run_program("/bin/sh", {"-c", on_read_only_mount(probe.file("p"), "true")}).status == 0;
    // A and B of text bytes with bit 7 set and no end marker, so that lis reads A to its end;
    // a deleted D between them.
    Bytes text(2100, 0xC1);
    for (std::size_t i = 39; i < text.size(); i += 40)
        text[i] = 0x8A;
    FileSpec a = named("A", 700, text), b = named("B", 300, text), d = named("D", 200, text);
    const Bytes sound = ImageBuilder(600).file(a).empty(4).deleted(0, d).file(b);
    const Bytes cut(sound.begin(), sound.begin() + 201 * SECTOR + 1000); // inside the data of A
    const std::string no_write = ":\nPermission denied\n", full = ":\nNo space left on device\n",
                      short_read = "ERROR: cannot read disk sector\n";
    const std::string entry = "ERROR: cannot write directory sector" + no_write,
                      sector = "ERROR: cannot write disk sector" + no_write;
    // How: w the image is read-only, r it is on a read-only file system, f standard output is
    // /dev/full and files may hold 1 KiB, c the image is cut short. "@" names a host file
    // beside the image.
    // clang-format off
    const struct Case {
        char how;
        std::string command;
        std::vector<std::string> arguments;
        std::string err; // the end of standard error
    } cases[] = {
        {'w', "DEL", {"A"}, entry}, {'w', "REN", {"A", "C"}, entry}, {'w', "COP", {"A", "C"}, sector},
        {'w', "WRI", {"-o", "D", "@"}, sector}, {'w', "SCW", {"-o", "F", "-f", "@", "300", "1"}, sector},
        {'w', "PTW", {}, sector}, {'w', "DCW", {"-c", "X"}, "ERROR: cannot write disk comment" + no_write},
        {'w', "DRE", {"-b", "8"}, "ERROR: cannot write directory blocks" + no_write}, {'w', "PAC", {}, entry},
        {'w', "REV", {"D"}, entry}, {'w', "RES", {"R", "1K"}, entry}, {'w', "FIX", {}, entry},
        {'w', "NEW", {"-o", "F", "400"}, "ERROR: cannot create VELTRA disk image IMAGE:\nPermission denied\n"},
        {'r', "DEL", {"A"}, "ERROR: cannot write directory sector:\nRead-only file system\n"},
        {'r', "WRI", {"-o", "D", "@"}, "ERROR: cannot write disk sector:\nRead-only file system\n"},
        {'f', "SCR", {"-f", "/dev/full", "0", "10"}, "ERROR: cannot write sector" + full},
        {'f', "OLD", {"-f", "/dev/full"}, "ERROR: cannot write VELTRA sector" + full},
        {'f', "LIS", {"A"}, "ERROR: cannot write standard output" + full},
        {'f', "DIR", {}, "ERROR: cannot write standard output" + full},
        {'f', "REA", {"-o", "D", "-f", "@", "A"}, "ERROR: cannot write file sector:\nFile too large\n"},
        // The size warnings of the directory check come first.
        {'c', "REA", {"-o", "D", "-f", "@", "A"}, short_read}, {'c', "LIS", {"A"}, short_read},
        {'c', "SUM", {"A"}, short_read}, {'c', "OCT", {"A"}, short_read},
        {'c', "SCR", {"-f", "@", "0", "400"}, "ERROR: ILLEGAL SECTOR LIMITS\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        if (c.how == 'r' && !mounts) continue;
        Disk disk(c.how == 'c' ? cut : sound);
        disk.host("h", Bytes(2 * SECTOR, 0xC1));
        std::string line = std::string(VELTOOL_BIN_DIR) + "/VEL" + c.command + " -d " + disk.image;
        for (const std::string& argument : c.arguments)
            line += " " + (argument == "@" ? disk.dir.file("h") : argument);
        if (c.how == 'w') {
            chmod(disk.dir.path().c_str(), 0755);
            chmod(disk.image.c_str(), 0444);
            if (root) line = "setpriv --reuid=65534 --regid=65534 --clear-groups " + line;
        }
        if (c.how == 'r') line = on_read_only_mount(disk.image, line);
        if (c.how == 'f')
            line =
                "ulimit -f 2; exec " + line + (c.command == "LIS" || c.command == "DIR" ? " >/dev/full" : "");
        Bytes before = disk.bytes();
        RunResult r = run_program("/bin/sh", {"-c", line});
        std::string err = c.err;
        if (auto at = err.find("IMAGE"); at != std::string::npos) err.replace(at, 5, disk.image);
        EXPECT_EQ(r.status, 1) << line;
        EXPECT_TRUE(r.err.ends_with(err)) << line << "\n" << r.err;
        EXPECT_EQ(disk.bytes(), before) << line;
    }
}
