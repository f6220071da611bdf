// Runs of sectors: copies across the run boundary and where the source ends, a move the
// kernel refuses, the read-ahead of scans, a mapped walk over a file cut short, and the
// commands over them end to end.
#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include "tests/support/disk.h"
#include "veltool/image/image.h"
#include "veltool/image/io.h"

using namespace test;
using veltool::RUN_BYTES;

namespace {

constexpr std::int64_t S = SECTOR;

Bytes part(const Bytes& bytes, std::int64_t from, std::int64_t n) {
    return Bytes(bytes.begin() + from, bytes.begin() + from + n);
}

// A host file with this content, open for reading and writing in this process.
veltool::FileDescriptor open_with(const std::string& path, const Bytes& content) {
    write_file(path, content);
    return veltool::FileDescriptor(open(path.c_str(), O_RDWR));
}

} // namespace

TEST(CopyRun, StopsWhereASectorBySectorCopyWould) {
    struct Case {
        std::int64_t source, copied, from, delivered;
        bool fails, sought;
    } cases[] = {
        {RUN_BYTES + 2 * S + 100, RUN_BYTES + 2 * S + 100, 0, RUN_BYTES + 2 * S + 100, false, true},
        {RUN_BYTES + 3 * S, RUN_BYTES + 5 * S, 0, RUN_BYTES + 3 * S, true, true},       // ends at a sector
        {RUN_BYTES + 3 * S + 100, RUN_BYTES + 5 * S, 0, RUN_BYTES + 3 * S, true, true}, // inside a sector
        {100, 2 * S, 0, 0, true, true},
        {5 * S, 3 * S, 2 * S, 3 * S, false, true},
        {4 * S, 2 * S, -S, 0, true, false}, // offset before the start
    };
    for (const Case& c : cases) {
        TempDir dir;
        Bytes source = pattern(static_cast<std::size_t>(c.source), 1);
        veltool::FileDescriptor from = open_with(dir.file("from"), source),
                                to = open_with(dir.file("to"), {});
        std::int64_t written = -1;
        auto failed = veltool::copy_run({from.get(), c.from, "seek", "read"}, {to.get(), 0, "seek", "write"},
                                        c.copied, &written);
        ASSERT_EQ(failed.has_value(), c.fails) << c.source;
        EXPECT_EQ(failed ? failed->sought : c.sought, c.sought);
        EXPECT_EQ(written, c.delivered);
        EXPECT_EQ(read_file(dir.file("to")), part(source, std::max<std::int64_t>(c.from, 0), c.delivered));
    }
}

// The kernel refuses a copy whose two ranges overlap in one file; the buffered copy then
// moves the run front to back as pac needs it. A scan sees the writes made during it.
TEST(ImageRuns, OverlappingMoveAndAScanThatSeesItsWrites) {
    TempDir dir;
    Bytes before = pattern(static_cast<std::size_t>(RUN_BYTES + 10 * S), 2);
    veltra::KeepingReporter reporter;
    veltool::Image opened(reporter, stdout);
    opened.image_fd = open_with(dir.file("disk.img"), before);
    veltool::copy_sectors(opened, 3, 1, RUN_BYTES / S + 7);
    Bytes expected = before;
    std::copy(before.begin() + 3 * S, before.end(), expected.begin() + S);
    EXPECT_EQ(read_file(dir.file("disk.img")), expected);

    veltool::SectorScan scan(opened);
    auto sector = [&](std::int64_t s) {
        const unsigned char* bytes = scan.sector(s, "seek", "read");
        return Bytes(bytes, bytes + S);
    };
    EXPECT_EQ(sector(5), part(expected, 5 * S, S));
    Bytes patch(16, 0xAB);
    veltool::write_image(opened, 5 * S - 8, patch.data(), patch.size(), "write");
    veltool::write_image(opened, 9 * S + 4, patch.data(), 2, "write");
    Bytes after = read_file(dir.file("disk.img"));
    for (std::int64_t s : {5, 9, 6, 4})
        EXPECT_EQ(sector(s), part(after, s * S, S)) << "sector " << s;
    // A copy the kernel makes into sectors the scan holds: their bytes never pass through here.
    veltool::copy_sectors(opened, 200, 4, 120);
    after = read_file(dir.file("disk.img"));
    for (std::int64_t s : {5, 9, 123, 124})
        EXPECT_EQ(sector(s), part(after, s * S, S)) << "sector " << s;
    EXPECT_THROW(scan.sector(-1, "seek", "read"), veltra::Error);
}

TEST(ImageRuns, CommandsEndToEnd) {
    // An image that ends 1.5 sectors into a file's data: the host file gets the whole
    // sectors that arrived, then the error.
    Bytes text(3 * S, 0xC1);
    Bytes cut = part(ImageBuilder(400).file(named("T", S, text)), 0, 202 * S + S / 2);
    Bytes sector = part(cut, 200 * S, S), first = part(text, 0, S);
    sector.insert(sector.end(), first.begin(), first.end());
    for (const auto& [letters, host] : {std::pair{"D", first}, {"A", Bytes(S, 'A')}, {"B", sector}}) {
        Disk d(cut);
        auto r = d.run("REA", {"-o", letters, "-f", d.dir.file(""), "T"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.ends_with("DRE RECOMMENDED !\nERROR: cannot read disk sector\n")) << r.err;
        EXPECT_EQ(read_file(d.dir.file("T")), host) << letters;
    }

    // A carriage return ending one run of a host text and a line feed starting the next
    // make one line end.
    Disk big("4000");
    Bytes lines(static_cast<std::size_t>(RUN_BYTES + 10), 'x');
    lines[RUN_BYTES - 1] = '\r';
    lines[RUN_BYTES] = '\n';
    EXPECT_EQ(outcome(big.run("WRI", {"-o", "A", big.host("LINES.TXT", lines)})), "0||");
    EXPECT_EQ(outcome(big.run("REA", {"-o", "A", "-f", big.dir.file("out."), "LINES.TXT"})), "0||");
    lines.erase(lines.begin() + RUN_BYTES - 1);
    lines.push_back('\f');
    EXPECT_EQ(read_file(big.dir.file("out.LINES.TXT")), lines);

    // Deleted files revived one after the other from the sectors of one read-ahead.
    Disk d("400 A:0 -20 ~X:0@2 ~Y:256@8 ~Z:0@14 B:0");
    EXPECT_EQ(outcome(d.run("REV", {})), "0||");
    EXPECT_EQ(d.bytes(), image("400 A:0 -1 X:0 -4 Y:256 -3 Z:0 -5 B:0").build());

    // A file longer than a run moved back over its own sectors by pac (its old last sector
    // stays); a second pac has nothing to move and writes nothing.
    Disk moved("3000 -1 BIG:400000");
    EXPECT_EQ(outcome(moved.run("PAC", {})), "0||");
    Bytes packed = moved.bytes();
    EXPECT_EQ(part(packed, 0, 1764 * S), part(image("3000 BIG:400000"), 0, 1764 * S));
    EXPECT_EQ(outcome(moved.run("PAC", {})), "0||");
    EXPECT_EQ(moved.bytes(), packed);
}

// A walk whose file is cut short under its mapping says no instead of dying of SIGBUS, keeps
// saying no, and hands a signal from outside a walk back to the handler it found; a pipe is
// never mapped.
TEST(MappedWalk, SaysNoWhereTheMappingCannotServe) {
    TempDir dir;
    Bytes content = pattern(static_cast<std::size_t>(3 * RUN_BYTES), 1), got(100);
    write_file(dir.file("f"), content);
    veltool::FileDescriptor fd(open(dir.file("f").c_str(), O_RDWR));
    auto size = static_cast<std::int64_t>(content.size());
    struct sigaction before {
    }, after{};
    before.sa_handler = [](int) {};
    sigemptyset(&before.sa_mask);
    sigaction(SIGBUS, &before, nullptr);
    {
        veltool::MappedWalk walk(fd.get());
        ASSERT_TRUE(walk.copy(5 * S, got.data(), got.size(), size));
        EXPECT_EQ(got, part(content, 5 * S, 100));
        ASSERT_EQ(ftruncate(fd.get(), 6 * S), 0);
        EXPECT_TRUE(walk.copy(5 * S, got.data(), got.size(), size)); // still inside the file
        EXPECT_FALSE(walk.copy(400 * S, got.data(), got.size(), size));
        EXPECT_FALSE(walk.copy(5 * S, got.data(), got.size(), size));
    }
    raise(SIGBUS);
    sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    veltool::FileDescriptor in(ends[0]), out(ends[1]);
    EXPECT_FALSE(veltool::MappedWalk(in.get()).copy(0, got.data(), 1, 100));
}
