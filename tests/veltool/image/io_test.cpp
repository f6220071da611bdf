// Runs of sectors: copies and reads across the run boundary and where the source ends, a
// move the kernel refuses, the read-ahead of scans, a mapped walk over a file cut short, and
// the commands over them end to end.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "tests/veltool/maint/disk.h"
#include "veltool/image/io.h"
#include "veltool/report.h"
#include "veltool/state.h"

using namespace test;
using veltool::RUN_BYTES;

namespace {

constexpr std::int64_t S = SECTOR;

veltool::FileDescriptor open_with(const std::string& path, const Bytes& content) {
    write_file(path, content);
    return veltool::FileDescriptor(open(path.c_str(), O_RDWR));
}

Bytes part(const Bytes& bytes, std::int64_t from, std::int64_t n) {
    return Bytes(bytes.begin() + from, bytes.begin() + from + n);
}

// The image open in this process while a test calls into the image code directly.
struct OpenImage {
    TempDir dir;
    veltool::FileDescriptor fd;
    explicit OpenImage(const Bytes& content) : fd(open_with(dir.file("disk.img"), content)) {
        veltool::image_fd = fd.get();
    }
    ~OpenImage() { veltool::image_fd = -1; }
};

} // namespace

TEST(CopyRun, StopsWhereASectorBySectorCopyWould) {
    struct Case {
        const char* what;
        std::int64_t source, copied, from, delivered;
        bool fails, sought;
    };
    const Case cases[] = {
        {"across the run boundary", RUN_BYTES + 2 * S + 100, RUN_BYTES + 2 * S + 100, 0,
         RUN_BYTES + 2 * S + 100, false, true},
        {"source ends at a sector of the second run", RUN_BYTES + 3 * S, RUN_BYTES + 5 * S, 0,
         RUN_BYTES + 3 * S, true, true},
        {"source ends inside a sector", RUN_BYTES + 3 * S + 100, RUN_BYTES + 5 * S, 0, RUN_BYTES + 3 * S,
         true, true},
        {"source ends inside the first sector", 100, 2 * S, 0, 0, true, true},
        {"from a sector on", 5 * S, 3 * S, 2 * S, 3 * S, false, true},
        {"offset before the start", 4 * S, 2 * S, -S, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Bytes source = pattern(static_cast<std::size_t>(c.source), 1);
        auto from = open_with(dir.file("from"), source);
        auto to = open_with(dir.file("to"), {});
        std::int64_t written = -1;
        auto failed = veltool::copy_run({from.get(), c.from, "seek", "read"}, {to.get(), 0, "seek", "write"},
                                        c.copied, &written);
        ASSERT_EQ(failed.has_value(), c.fails);
        if (failed) {
            EXPECT_EQ(failed->sought, c.sought);
            EXPECT_EQ(failed->error, c.sought ? 0 : EINVAL);
        }
        EXPECT_EQ(written, c.delivered);
        EXPECT_EQ(read_file(dir.file("to")), part(source, std::max<std::int64_t>(c.from, 0), c.delivered));
    }
}

// The kernel refuses a copy whose two ranges overlap in one file; the buffered copy then
// moves the run front to back as pac needs it.
TEST(CopyRun, OverlappingMoveTakesTheBufferedCopy) {
    Bytes before = pattern(static_cast<std::size_t>(RUN_BYTES + 10 * S), 2);
    OpenImage image(before);
    veltool::copy_sectors(3, 1, RUN_BYTES / S + 7);
    Bytes expected = before;
    std::copy(before.begin() + 3 * S, before.end(), expected.begin() + S);
    EXPECT_EQ(read_file(image.dir.file("disk.img")), expected);
}

TEST(ReadRuns, HandsOverWholeSectorsThenReports) {
    struct Case {
        const char* what;
        std::int64_t size, asked, stop_after, handed, runs;
        bool fails;
    };
    const Case cases[] = {
        {"two runs", RUN_BYTES + S, RUN_BYTES + S, -1, RUN_BYTES + S, 2, false},
        {"file ends inside the second run", RUN_BYTES + 2 * S + 7, RUN_BYTES + 4 * S, -1, RUN_BYTES + 2 * S,
         2, true},
        {"taker stops before the end", RUN_BYTES + 2 * S + 7, RUN_BYTES + 4 * S, RUN_BYTES, RUN_BYTES, 1,
         false},
        {"nothing arrives", 0, S, -1, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Bytes content = pattern(static_cast<std::size_t>(c.size), 3);
        auto fd = open_with(dir.file("f"), content);
        Bytes handed;
        std::int64_t runs = 0;
        auto failed = veltool::read_runs(fd.get(), 0, c.asked, [&](unsigned char* run, std::size_t n) {
            handed.insert(handed.end(), run, run + n);
            ++runs;
            return c.stop_after < 0 || static_cast<std::int64_t>(handed.size()) < c.stop_after;
        });
        EXPECT_EQ(failed.has_value(), c.fails);
        EXPECT_EQ(runs, c.runs);
        EXPECT_EQ(handed, part(content, 0, c.handed));
    }
}

TEST(SectorScan, SeesTheWritesMadeDuringTheScan) {
    Bytes before = pattern(static_cast<std::size_t>(10 * S), 4);
    OpenImage image(before);
    veltool::SectorScan scan;
    auto sector = [&](std::int64_t s) {
        const unsigned char* bytes = scan.sector(s, "seek", "read");
        return Bytes(bytes, bytes + S);
    };
    EXPECT_EQ(sector(5), part(before, 5 * S, S));
    Bytes patch(16, 0xAB);
    veltool::write_at(image.fd.get(), 5 * S - 8, patch.data(), patch.size(), "seek", "write");
    veltool::write_at(image.fd.get(), 9 * S + 4, patch.data(), 2, "seek", "write");
    Bytes after = read_file(image.dir.file("disk.img"));
    for (std::int64_t s : {5, 9, 6, 4})
        EXPECT_EQ(sector(s), part(after, s * S, S)) << "sector " << s;
    EXPECT_THROW(scan.sector(10, "seek", "read"), veltool::FatalExit);
    EXPECT_THROW(scan.sector(-1, "seek", "read"), veltool::FatalExit);
}

TEST(Runs, CommandsEndToEnd) {
    // An image that ends 1.5 sectors into a file's data: the host file gets the whole
    // sectors that arrived, then the error.
    Bytes text(3 * S, 0xC1);
    ImageBuilder builder(400);
    builder.file(named("T", S, text));
    Bytes cut = part(builder.build(), 0, (builder.first_start() + 1) * S + S / 2);
    Bytes sector = part(cut, (builder.first_start() - 1) * S, S), first = part(text, 0, S);
    sector.insert(sector.end(), first.begin(), first.end());
    const std::pair<const char*, Bytes> cases[] = {{"D", first}, {"A", Bytes(S, 'A')}, {"B", sector}};
    for (const auto& [letters, host] : cases) {
        SCOPED_TRACE(letters);
        Disk d(cut);
        auto r = d.run("REA", {"-o", letters, "-f", d.dir.file(""), "T"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.ends_with("DRE RECOMMENDED !\nERROR: cannot read disk sector\n")) << r.err;
        EXPECT_EQ(read_file(d.dir.file("T")), host);
    }

    // A carriage return ending one run of a host text and a line feed starting the next
    // make one line end.
    Disk big(ImageBuilder(4000));
    Bytes lines(static_cast<std::size_t>(RUN_BYTES + 10), 'x');
    lines[RUN_BYTES - 1] = '\r';
    lines[RUN_BYTES] = '\n';
    std::string host = big.host("LINES.TXT", lines);
    EXPECT_EQ(outcome(big.run("WRI", {"-o", "A", host})), "0||");
    EXPECT_EQ(outcome(big.run("REA", {"-o", "A", "-f", big.dir.file("out."), "LINES.TXT"})), "0||");
    lines.erase(lines.begin() + RUN_BYTES - 1);
    lines.push_back('\f');
    EXPECT_EQ(read_file(big.dir.file("out.LINES.TXT")), lines);

    // Deleted files revived one after the other from the sectors of one read-ahead.
    FileSpec x = file_spec("X", 0, 1), y = file_spec("Y", 256, 2), z = file_spec("Z", 0, 3);
    Disk d(ImageBuilder(400)
               .file(file_spec("A", 0))
               .empty(20)
               .deleted(2, x)
               .deleted(8, y)
               .deleted(14, z)
               .file(file_spec("B", 0))
               .build());
    EXPECT_EQ(outcome(d.run("REV", {})), "0||");
    EXPECT_EQ(d.bytes(), ImageBuilder(400)
                             .file(file_spec("A", 0))
                             .empty(1)
                             .file(x)
                             .empty(4)
                             .file(y)
                             .empty(3)
                             .file(z)
                             .empty(5)
                             .file(file_spec("B", 0))
                             .build());
}

// A walk whose file is cut short under its mapping says no instead of dying of SIGBUS, keeps
// saying no, and hands the signal back to the handler it found; a pipe is never mapped.
TEST(MappedWalk, SaysNoWhereTheMappingCannotServe) {
    TempDir dir;
    Bytes content = pattern(static_cast<std::size_t>(3 * RUN_BYTES), 1);
    veltool::FileDescriptor fd = open_with(dir.file("f"), content);
    auto size = static_cast<std::int64_t>(content.size());
    Bytes got(100);
    struct sigaction before {
    }, after{};
    sigaction(SIGBUS, nullptr, &before);
    {
        veltool::MappedWalk walk(fd.get());
        ASSERT_TRUE(walk.copy(5 * S, got.data(), got.size(), size));
        EXPECT_EQ(got, part(content, 5 * S, 100));
        ASSERT_EQ(ftruncate(fd.get(), 6 * S), 0);
        EXPECT_TRUE(walk.copy(5 * S, got.data(), got.size(), size)); // still inside the file
        EXPECT_FALSE(walk.copy(400 * S, got.data(), got.size(), size));
        EXPECT_FALSE(walk.copy(5 * S, got.data(), got.size(), size));
    }
    sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    veltool::FileDescriptor in(ends[0]), out(ends[1]);
    EXPECT_FALSE(veltool::MappedWalk(in.get()).copy(0, got.data(), 1, 100));
}
