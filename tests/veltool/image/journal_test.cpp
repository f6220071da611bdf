// The rollback journal on its own: what a change records, what a journal cut short or damaged
// at any byte still plays back, and what is never played. (Left journals met by the programs:
// crash_test.cpp.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/disk.h"
#include "veltool/image/journal.h"

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
