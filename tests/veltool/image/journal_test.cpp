// The rollback journal on its own: what a change records, what a journal cut short or damaged
// at any byte still plays back, and what is never played. Then changes cut short end to end: a
// changing command that stops just after any one of its writes (the journal's included) is
// rolled back by the next command, and the image is again what it was, but for sectors that
// were EMPTY; the journals that are never played, and the places where no journal can be made.
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/support/disk.h"
#include "veltool/image/journal.h"
#include "veltra/image.h"

using namespace test;
using namespace veltool;
using State = JournalContents::State;

namespace {

constexpr std::int64_t S = 768;

// An image of `sectors` sectors open for writing, and the bytes it had before the change.
struct Changed {
    TempDir dir;
    std::string path = dir.file("disk.img");
    Bytes before;
    int fd = -1;
    explicit Changed(std::int64_t sectors) : before(pattern(static_cast<std::size_t>(sectors * S), 1)) {
        write_file(path, before);
        fd = open(path.c_str(), O_RDWR);
    }
    ~Changed() { close(fd); }
    // The write of a changing command: recorded first, then made.
    void write(Journal& journal, std::int64_t offset, std::int64_t n, int seed = 2) {
        journal.before_write(offset, n);
        Bytes fresh = pattern(static_cast<std::size_t>(n), seed);
        ASSERT_EQ(pwrite(fd, fresh.data(), fresh.size(), offset), static_cast<ssize_t>(n));
    }
    JournalIdentity identity() const {
        JournalIdentity id;
        identity_of(fd, id);
        return id;
    }
    Bytes journal() const { return read_file(journal_path(path)); }
};

} // namespace

// Every write of a change is undone by the journal, whichever exempt areas the writes met;
// exempt sectors keep what the change wrote; bytes past the old end go.
TEST(Journal, PlayBackRestoresWhatWasOverwritten) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::int64_t, std::int64_t>> writes; // offset, bytes
        std::int64_t exempt_first, exempt_count; // every exempt sector is written and keeps its new bytes
    } cases[] = {
        {"one sector", {{3 * S, S}}, 0, 0},
        {"parts of sectors", {{3 * S + 5, 10}, {7 * S - 3, 6}}, 0, 0},
        {"twice over one place", {{2 * S, 3 * S}, {2 * S, 3 * S}}, 0, 0},
        {"runs far apart", {{1 * S, 2 * S}, {3000 * S, 2000 * S}, {6 * S, S}}, 0, 0},
        {"into an exempt area", {{10 * S, 4 * S}, {2 * S, S}}, 10, 4},
        {"across an exempt edge", {{9 * S, 3 * S}}, 10, 1},
        {"past the old end", {{5099 * S, 3 * S}}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Changed image(5100);
        Journal journal(image.path, image.fd);
        journal.exempt(c.exempt_first, c.exempt_count);
        int seed = 2;
        for (auto [offset, n] : c.writes)
            image.write(journal, offset, n, seed++);
        JournalContents contents = read_journal(image.journal(), image.identity());
        ASSERT_EQ(contents.state, State::usable);
        play_back(contents, image.fd);
        Bytes after = read_file(image.path);
        ASSERT_EQ(after.size(), image.before.size());
        for (std::int64_t s = 0; s < 5100; ++s) {
            bool kept_new = s >= c.exempt_first && s < c.exempt_first + c.exempt_count;
            bool same =
                std::equal(after.begin() + s * S, after.begin() + (s + 1) * S, image.before.begin() + s * S);
            ASSERT_EQ(same, !kept_new) << "sector " << s;
        }
        journal.commit();
        EXPECT_FALSE(journal_exists(image.path));
    }
}

// A journal cut at any byte of its last batch plays the batches before it; a change that wrote
// nothing yet (header only, or cut inside the header) plays nothing. Damage in a batch with a
// sound batch behind it, or in the header of a journal with records, is never played.
TEST(Journal, CutOrDamagedJournals) {
    Changed image(200);
    Journal journal(image.path, image.fd);
    image.write(journal, 10 * S, S);  // batch 1: sectors 10 and ahead of it
    image.write(journal, 180 * S, S); // within batch 1's reach: no new batch
    image.write(journal, 5 * S, S);   // batch 2
    Bytes whole = image.journal();
    JournalContents full = read_journal(whole, image.identity());
    ASSERT_EQ(full.state, State::usable);
    ASSERT_EQ(full.records.size(), 2u);
    std::size_t second = 48 + 32 + 24 + full.records[0].bytes.size(); // where batch 2 begins

    for (std::size_t cut : {std::size_t{0}, std::size_t{20}, std::size_t{47}, std::size_t{48}, second,
                            second + 1, second + 31, second + 32, second + 60, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        JournalContents contents = read_journal(std::span(whole).first(cut), image.identity());
        EXPECT_EQ(contents.state, cut < 48 ? State::empty : State::usable);
        EXPECT_EQ(contents.records.size(), cut < second ? 0u : 1u);
    }
    struct Damage {
        std::size_t at;
        State state;
        std::size_t records;
    } damages[] = {
        {3, State::damaged, 0},               // header magic
        {40, State::damaged, 0},              // header checksum
        {48 + 40, State::damaged, 0},         // a record of batch 1, batch 2 behind it
        {48 + 12, State::damaged, 0},         // batch 1's length
        {second + 32 + 30, State::usable, 1}, // the last batch: torn
        {second + 2, State::usable, 1},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.at);
        Bytes bad = whole;
        bad[d.at] ^= 0x40;
        JournalContents contents = read_journal(bad, image.identity());
        EXPECT_EQ(contents.state, d.state);
        EXPECT_EQ(contents.records.size(), d.records);
    }
    JournalIdentity other = image.identity();
    other.inode += 1;
    EXPECT_EQ(read_journal(whole, other).state, State::foreign);
    Bytes zeros = whole;
    std::fill(zeros.begin() + static_cast<std::ptrdiff_t>(second), zeros.end(), 0); // pages never written
    EXPECT_EQ(read_journal(zeros, image.identity()).records.size(), 1u);
}

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
        EXPECT_EQ(order_faults(trace, 8), "") << trace;
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
