// velmount end to end: an image made by the test builder is mounted, and what programs see
// there is compared with what velrea writes, while the image is damaged, changed and cut.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/disk.h"

using test::Bytes;
using test::Disk;
using test::FileSpec;
using test::ImageBuilder;
using test::RunResult;

namespace {

RunResult shell(const std::string& command) {
    return test::run_program("/bin/sh", {"-c", command});
}

// Why FUSE cannot be used here, or empty.
std::string fuse_unusable() {
    int fd = open("/dev/fuse", O_RDWR);
    if (fd < 0) return std::string("cannot open /dev/fuse: ") + std::strerror(errno);
    close(fd);
    if (shell("command -v fusermount3").status != 0) return "fusermount3 is not installed";
    return "";
}

bool mounted_at(const std::string& path) {
    struct stat point {
    }, parent{};
    return stat(path.c_str(), &point) == 0 && stat((path + "/..").c_str(), &parent) == 0 &&
           point.st_dev != parent.st_dev;
}

// A mount point beside the image; whatever is mounted there is unmounted when the test ends.
struct Mount {
    const Disk& disk;
    std::string point = disk.dir.file("mnt");
    explicit Mount(const Disk& d) : disk(d) { std::filesystem::create_directory(point); }
    ~Mount() {
        if (mounted_at(point) && shell("fusermount3 -u '" + point + "'").status != 0)
            shell("fusermount3 -uz '" + point + "'");
    }
    RunResult mount(std::vector<std::string> options) const {
        options.insert(options.end(), {disk.image, point});
        return test::run_program(VELMOUNT_PATH, options);
    }
    std::string at(const std::string& name) const { return point + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(point))
            found.push_back(e.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
};

// Reads the whole file through read(2): its bytes, and the error that stopped it, or 0.
std::pair<Bytes, int> read_all(int fd) {
    Bytes bytes;
    unsigned char piece[1001]; // pieces that cut through words of every form
    for (off_t at = 0;; at += static_cast<off_t>(sizeof piece)) {
        ssize_t n = pread(fd, piece, sizeof piece, at);
        if (n < 0) return {bytes, errno};
        bytes.insert(bytes.end(), piece, piece + n);
        if (n == 0) return {bytes, 0};
    }
}
std::pair<Bytes, int> read_all(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return {{}, errno};
    auto result = read_all(fd);
    close(fd);
    return result;
}

// What velrea writes for the file in the form.
Bytes rea_output(const Disk& disk, const std::string& form, const std::string& name) {
    std::filesystem::create_directory(disk.dir.file("rea"));
    EXPECT_EQ(disk.run("REA", {"-o", form, "-f", disk.dir.file("rea/"), name}).status, 0);
    return test::read_file(disk.dir.file("rea/" + name));
}

// A file dated 24 December 1999.
FileSpec dated(const std::string& full_name, std::int64_t words, Bytes data = {}) {
    FileSpec f = test::named(full_name, words, std::move(data));
    f.date = test::bcd3(24, 12, 99);
    return f;
}

// TEXT.TXT, DATA (700 words over three sectors, half of them negative), NOTHING.DAT (0
// words), then BAD.SEC whose sector disagrees with its entry, GONE whose sector is a deleted
// file's, and an illegal entry: the last three are not shown.
ImageBuilder sample() {
    Bytes data(2100);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 37 + i / 3);
    FileSpec bad = dated("BAD.SEC", 1);
    bad.sector_size_word = 2;
    FileSpec gone = dated("GONE", 1);
    gone.magic = test::DELETED_MAGIC;
    FileSpec illegal = dated("ILL", 1);
    illegal.attributes |= 01000000;
    ImageBuilder b(600);
    b.file(dated("TEXT.TXT", 4, {0xC1, 0xC2, 0x8D, 0x8C, 0xC3, 0x84, 0xC5}));
    b.file(dated("DATA", 700, data)).file(dated("NOTHING.DAT", 0));
    return b.file(bad).file(gone).file(illegal);
}

const std::vector<std::string> SHOWN = {"DATA", "NOTHING.DAT", "TEXT.TXT"};

class MountTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string reason = fuse_unusable();
        if (reason.empty()) return;
        const char* ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true") FAIL() << "no usable FUSE in CI: " << reason;
        GTEST_SKIP() << "no usable FUSE, mount tests skipped: " << reason;
    }
};

TEST_F(MountTest, FilesReadAsVelreaWritesThemInEveryForm) {
    Disk disk(sample());
    for (std::string form : {"B", "D", "A", "P"}) {
        Mount m(disk);
        RunResult r = m.mount({"-o", "form=" + form});
        ASSERT_EQ(r.status, 0) << form << r.err;
        EXPECT_EQ(m.names(), SHOWN) << form;
        EXPECT_NE(r.err.find("CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: BAD.SEC"), std::string::npos);
        EXPECT_NE(r.err.find("CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: GONE"), std::string::npos);
        for (const std::string& name : SHOWN) {
            Bytes expected = rea_output(disk, form, name);
            struct stat st {};
            ASSERT_EQ(stat(m.at(name).c_str(), &st), 0);
            EXPECT_EQ(st.st_size, static_cast<off_t>(expected.size())) << form << " " << name;
            EXPECT_EQ(st.st_mtime, test::local_time(1999, 12, 24)) << name;
            EXPECT_EQ(st.st_mode, S_IFREG | 0444u) << name;
            EXPECT_EQ(st.st_uid, getuid()) << name;
            EXPECT_EQ(read_all(m.at(name)), std::make_pair(expected, 0)) << form << " " << name;
        }
    }
}

TEST_F(MountTest, DamagedDirectoryMountsOnlyWithForce) {
    Bytes damaged = sample().build();
    damaged.resize(damaged.size() + 768); // one sector more than the directory counts
    const std::string warnings = "WARNING: number of sectors from directory 1130 different from disk image "
                                 "size 1131\nWARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n";
    struct Case {
        std::vector<std::string> options;
        int status;
        std::string verdict;
    } cases[] = {
        {{}, 1, "ERROR: CORRUPT DIRECTORY, DRE REQUIRED !\n"},
        {{"-o", "force"}, 0, "WARNING: CORRUPT DIRECTORY, DRE REQUIRED !\n"},
    };
    for (const Case& c : cases) {
        Disk disk(damaged);
        Mount m(disk);
        RunResult r = m.mount(c.options);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err.substr(0, warnings.size()), warnings);
        EXPECT_NE(r.err.find(c.verdict), std::string::npos) << r.err;
        EXPECT_EQ(mounted_at(m.point), c.status == 0);
        if (c.status == 0) {
            EXPECT_EQ(m.names(), SHOWN);
        }
    }
}

TEST_F(MountTest, ChangesOfTheImageShowWhileMounted) {
    Disk disk(sample());
    Mount m(disk);
    ASSERT_EQ(m.mount({"-o", "form=D"}).status, 0);
    int data = open(m.at("DATA").c_str(), O_RDONLY);
    ASSERT_GE(data, 0);
    Bytes data_bytes = rea_output(disk, "D", "DATA");

    ASSERT_EQ(disk.run("WRI", {"-o", "D", disk.host("NEW.DAT", Bytes(3000, 0x5A))}).status, 0);
    EXPECT_EQ(m.names(), (std::vector<std::string>{"DATA", "NEW.DAT", "NOTHING.DAT", "TEXT.TXT"}));
    EXPECT_EQ(read_all(m.at("NEW.DAT")), std::make_pair(rea_output(disk, "D", "NEW.DAT"), 0));
    EXPECT_EQ(read_all(data), std::make_pair(data_bytes, 0)) << "an open file keeps its bytes";

    ASSERT_EQ(disk.run("DEL", {"DATA"}).status, 0);
    EXPECT_EQ(m.names(), (std::vector<std::string>{"NEW.DAT", "NOTHING.DAT", "TEXT.TXT"}));
    EXPECT_EQ(read_all(m.at("DATA")).second, ENOENT);
    EXPECT_EQ(read_all(data), std::make_pair(Bytes{}, EIO)) << "a deleted file is not read on";
    close(data);

    Bytes whole = disk.bytes();
    std::filesystem::resize_file(disk.image, 500 * 768); // now fails verification
    EXPECT_THROW(m.names(), std::filesystem::filesystem_error);
    test::write_file(disk.image, whole);
    EXPECT_EQ(m.names(), (std::vector<std::string>{"NEW.DAT", "NOTHING.DAT", "TEXT.TXT"}));
}

TEST_F(MountTest, FileCutOffByTheImageEndIsAnIoError) {
    Disk disk(sample());
    std::string layout = disk.layout(); // "TEXT.TXT start size; DATA start size; ..."
    std::int64_t data_start = std::stoll(layout.substr(layout.find("; DATA ") + 7));
    std::filesystem::resize_file(disk.image, data_start * 768 + 100); // into DATA's data
    Mount m(disk);
    ASSERT_EQ(m.mount({"-o", "force,form=D"}).status, 0);
    EXPECT_EQ(read_all(m.at("TEXT.TXT")), std::make_pair(rea_output(disk, "D", "TEXT.TXT"), 0));
    EXPECT_EQ(read_all(m.at("DATA")).second, EIO);
}

TEST_F(MountTest, ErrorsAreOneLineAndMountNothing) {
    Disk disk(sample());
    Mount busy(disk);
    ASSERT_EQ(busy.mount({}).status, 0);
    Disk zeros(Bytes(300 * 768, 0));
    struct Case {
        std::string command; // run by sh: $V velmount, $I the image, $P a free mount point
        std::string message;
    } cases[] = {
        {"$V $I.none $P",
         "velmount: cannot open disk image " + disk.image + ".none: No such file or directory"},
        {"$V " + zeros.image + " $P", "velmount: " + zeros.image + " is not a VELTRA disk image"},
        {"$V $I $P.none", "velmount: mount point " + disk.dir.file("free") + ".none: No such file"},
        {"$V $I " + busy.point, "velmount: mount point " + busy.point + " is busy"},
        {"unshare -m sh -c 'mount -t tmpfs none /dev && exec $V $I $P'",
         "velmount: no FUSE on this machine: cannot open /dev/fuse: No such file or directory"},
        {"$V -o form=Q $I $P", "velmount: unknown form \"Q\" (B, D, A or P)"},
    };
    std::string free_point = disk.dir.file("free");
    std::filesystem::create_directory(free_point);
    for (const Case& c : cases) {
        RunResult r = shell("export V=" + std::string(VELMOUNT_PATH) + " I=" + disk.image +
                            " P=" + free_point + "; " + c.command);
        EXPECT_EQ(r.status, 1) << c.command;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(mounted_at(free_point)) << c.command;
    }
}

} // namespace
