// Changes cut short end to end: a changing command that stops just after any one of its writes
// (the journal's included) is rolled back by the next command, and the image is again what it was,
// but for sectors that were EMPTY. Then the journals that are never played, and the places
// where no journal can be made.
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/support/disk.h"
#include "veltra/image.h"

using namespace test;

namespace {

// Files, a gap with a deleted file, files after it that pac moves, a last gap.
Bytes small_image() {
    return test::image("700/8 A:30000 -12 ~D:600@3 B:2000 -3 C:500").default_partition_table();
}

// The image's bytes with the sectors of its EMPTY areas (directory sector place included)
// zeroed: what a rolled back change must give back.
Bytes outside_empty(const Disk& d, const std::string& layout) {
    Bytes bytes = d.bytes();
    std::istringstream in(std::regex_replace(layout, std::regex(";"), ""));
    std::string name;
    for (std::int64_t start = 0, word = 0; in >> name >> start >> word;)
        if (name == "-") // an EMPTY entry's size word counts its sectors, negative
            std::fill(bytes.begin() + (start - 1) * SECTOR,
                      bytes.begin() + std::min((start - word) * SECTOR, std::ssize(bytes)), 0);
    return bytes;
}

// True when the trace has an image write while journal writes before it are not flushed.
bool written_before_journal_flushed(const std::string& trace) {
    std::istringstream in(trace);
    bool pending = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("jwrite")) pending = true;
        if (line == "jflush") pending = false;
        if (line.starts_with("write") && pending) return true;
    }
    return false;
}

std::string rolled_back(const Disk& d) {
    return "WARNING: disk image " + d.image + ": an interrupted change was rolled back\n";
}

// The image with the journal that a pac stopped at its last write left.
void leave_journal(const Disk& d) {
    std::remove((d.image + ".journal").c_str());
    write_file(d.image, small_image());
    ASSERT_EQ(d.traced("PAC", {}, "", true).status, 0);
    std::size_t writes = d.writes();
    write_file(d.image, small_image());
    d.traced("PAC", {}, std::to_string(writes) + ":killafter", true);
    ASSERT_TRUE(std::filesystem::exists(d.image + ".journal"));
}

} // namespace

TEST(Journal, EveryChangeStoppedAtAnyWriteIsRolledBack) {
    const Bytes image = small_image();
    for (const Command& c : COMMANDS) {
        if (c.failed_write == "" || c.command == "NEW") continue; // the changers of an image
        SCOPED_TRACE(c.command);
        Disk d(image);
        std::vector<std::string> arguments = d.with_host(c.arguments); // 100 KiB: copied in the kernel
        const std::string dir = d.run("DIR", {"-o", "F"}).out, ddi = d.run("DDI", {}).out,
                          layout = d.layout();
        const Bytes before = outside_empty(d, layout);
        ASSERT_EQ(d.traced(c.command, arguments, "", true).status, 0);
        std::string trace = d.trace();
        EXPECT_NE(trace.find("jwrite"), std::string::npos) << "nothing journaled";
        EXPECT_FALSE(written_before_journal_flushed(trace)) << trace;
        EXPECT_FALSE(std::filesystem::exists(d.image + ".journal"));
        // The deleted file in free space is kept when the whole change keeps it, and by rev.
        const bool keeps_deleted = c.command == "REV" || d.run("DDI", {}).out == ddi;
        for (std::size_t k = 1, writes = d.writes(); k <= writes; ++k) {
            SCOPED_TRACE(k);
            write_file(d.image, image);
            EXPECT_NE(d.traced(c.command, arguments, std::to_string(k) + ":killafter", true).status, 0);
            RunResult r = d.run("DIR", {"-o", "F"});
            EXPECT_EQ(r.out, dir);
            EXPECT_TRUE(r.err.empty() || r.err == rolled_back(d)) << r.err;
            if (keeps_deleted) {
                EXPECT_EQ(d.run("DDI", {}).out, ddi);
            }
            EXPECT_TRUE(outside_empty(d, layout) == before) << "the image differs";
            EXPECT_FALSE(std::filesystem::exists(d.image + ".journal"));
        }
    }
}

TEST(Journal, JournalsNeverPlayedAndNoPlaceForOne) {
    const bool root = geteuid() == 0;
    const Bytes image = small_image();
    Disk d(image);
    const std::string journal = d.image + ".journal", dir = d.run("DIR", {"-o", "F"}).out;

    // A torn batch at the end was never acted on: the rest plays back.
    leave_journal(d);
    Bytes bytes = read_file(journal);
    bytes.insert(bytes.end(), 100, 0xAB);
    write_file(journal, bytes);
    EXPECT_EQ(outcome(d.run("DIR", {"-o", "F"})), "0|" + dir + "|" + rolled_back(d));

    // A damaged record, or the journal of another image: never played, both left as they are.
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign);
        leave_journal(d);
        bytes = read_file(journal);
        if (foreign) {
            write_file(d.image + ".new", d.bytes()); // another file at the image's place
            std::rename((d.image + ".new").c_str(), d.image.c_str());
        } else {
            bytes[100] ^= 1; // in the first of its two batches
            write_file(journal, bytes);
        }
        Bytes cut = d.bytes();
        EXPECT_EQ(outcome(d.run("DIR", {})),
                  "1||ERROR: journal " + journal +
                      (foreign ? " belongs to another disk image" : " is damaged") +
                      ": image and journal left as they are\n");
        EXPECT_TRUE(d.bytes() == cut && read_file(journal) == bytes);
    }

    // Two readers meet the same journal: both list the image as it was, one rolls it back.
    leave_journal(d);
    RunResult first, second;
    std::thread other([&] { second = d.run("DIR", {"-o", "F"}); });
    first = d.run("DIR", {"-o", "F"});
    other.join();
    EXPECT_EQ(first.out + second.out, dir + dir);
    EXPECT_EQ(first.err + second.err, rolled_back(d));

    // The library rolls it back as it opens the image, and keeps the warning.
    leave_journal(d);
    {
        veltra::Image opened = veltra::Image::open(d.image, veltra::Access::read);
        ASSERT_EQ(opened.warnings().size(), 1u);
        EXPECT_EQ("WARNING: " + opened.warnings()[0].text + "\n", rolled_back(d));
    }
    EXPECT_EQ(outcome(d.run("DIR", {"-o", "F"})), "0|" + dir + "|");

    if (root && access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv to drop privileges";
    // Runs VEL<command> on the image as a user that file modes bind, with a variable set.
    auto as_user = [&](const std::string& command, const std::string& arguments,
                       const std::string& env = "") {
        return run_program(
            "/bin/sh",
            {"-c", env + (root ? " setpriv --reuid=65534 --regid=65534 --clear-groups " : " ") +
                       std::string(VELTOOL_BIN_DIR) + "/VEL" + command + " -d " + d.image + " " + arguments});
    };
    // A left journal on an image that cannot be written: nothing is read.
    leave_journal(d);
    bytes = read_file(journal);
    Bytes cut = d.bytes();
    chmod(d.dir.path().c_str(), 0755);
    chmod(d.image.c_str(), 0444);
    EXPECT_EQ(outcome(as_user("DIR", "")), "1||ERROR: disk image " + d.image +
                                               " has the journal of an interrupted change and cannot be "
                                               "written:\nPermission denied\n");
    EXPECT_TRUE(d.bytes() == cut && read_file(journal) == bytes);

    // No place for a journal: the change stops before it writes, unless it is switched off.
    chmod(d.image.c_str(), 0666);
    std::remove(journal.c_str());
    write_file(d.image, image);
    chmod(d.dir.path().c_str(), 0555);
    EXPECT_EQ(outcome(as_user("DEL", "A")),
              "1||ERROR: cannot create journal in folder " + d.dir.path() + ":\nPermission denied\n");
    EXPECT_TRUE(d.bytes() == image);
    EXPECT_EQ(as_user("DEL", "A", "VELTOOL_NO_JOURNAL=1").status, 0);
    EXPECT_FALSE(d.bytes() == image);
    chmod(d.dir.path().c_str(), 0755);
}
