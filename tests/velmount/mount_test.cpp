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

using namespace test;
using Names = std::vector<std::string>;

namespace {

const auto shell = [](const std::string& line) { return run_program("/bin/sh", {"-c", line}); };

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
        return run_program(VELMOUNT_PATH, options);
    }
    std::string at(const std::string& name) const { return point + "/" + name; }
    Names names() const {
        Names found;
        for (const auto& e : std::filesystem::directory_iterator(point))
            found.push_back(e.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }
};

// The whole file read through pread(2) in pieces that cut through words of every form: its
// bytes, and the error that stopped it, or 0.
std::pair<Bytes, int> read_all(int fd) {
    Bytes bytes;
    unsigned char piece[1001];
    ssize_t n = 0;
    while ((n = pread(fd, piece, sizeof piece, static_cast<off_t>(bytes.size()))) > 0)
        bytes.insert(bytes.end(), piece, piece + n);
    return {bytes, n < 0 ? errno : 0};
}
std::pair<Bytes, int> read_all(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    auto result = fd < 0 ? std::make_pair(Bytes{}, errno) : read_all(fd);
    return close(fd), result;
}

// What velrea writes for the file in the form.
Bytes rea_output(const Disk& disk, const std::string& form, const std::string& name) {
    std::filesystem::create_directory(disk.dir.file("rea"));
    EXPECT_EQ(disk.run("REA", {"-o", form, "-f", disk.dir.file("rea/"), name}).status, 0);
    return read_file(disk.dir.file("rea/" + name));
}

// Files dated 24 December 1999: TEXT.TXT, DATA (700 words over three sectors), NOTHING.DAT (0
// words), then BAD.SEC whose sector disagrees with its entry, GONE whose sector is a deleted
// file's, and an illegal entry: the last three are not shown.
ImageBuilder sample() {
    FileSpec bad = named("BAD.SEC", 1), gone = named("GONE", 1), ill = named("ILL", 1);
    bad.sector_size_word = 2, gone.magic = DELETED_MAGIC, ill.attributes |= NOT_FILE;
    ImageBuilder b(600);
    for (FileSpec f : {named("TEXT.TXT", 4, {0xC1, 0xC2, 0x8D, 0x8C, 0xC3, 0x84, 0xC5}),
                       named("DATA", 700, pattern(2100, 1)), named("NOTHING.DAT", 0), bad, gone, ill})
        b.file((f.date = bcd3(24, 12, 99), f));
    return b;
}

const std::string RECOMMENDED = "WARNING: CORRUPT DIRECTORY, DRE RECOMMENDED !\n";
const Names SHOWN = {"DATA", "NOTHING.DAT", "TEXT.TXT"};

class MountTest : public testing::Test {
  protected:
    void SetUp() override {
        int fd = open("/dev/fuse", O_RDWR);
        std::string why = fd < 0 ? std::string("cannot open /dev/fuse: ") + std::strerror(errno) : "";
        if (fd >= 0 && close(fd) == 0 && shell("command -v fusermount3").status == 0) return;
        const char* ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true") FAIL() << "no usable FUSE in CI: " << why;
        GTEST_SKIP() << "no usable FUSE (/dev/fuse, fusermount3), mount tests skipped: " << why;
    }
};

// Every form of the sample reads as velrea writes it. One sector more than the directory counts
// mounts only with force; so does an image cut into DATA's data, where DATA reads EIO and
// NOTHING.DAT, whose sector is cut off, is not shown.
TEST_F(MountTest, FormsAndDamage) {
    Bytes sound = sample().build(), longer = sound, cut = sound;
    longer.resize(longer.size() + 768);
    std::string layout = Disk(cut).layout(); // "TEXT.TXT start size; DATA start size; ..."
    cut.resize(std::stoll(layout.substr(layout.find("; DATA ") + 7)) * 768 + 100);
    // clang-format off
    const std::string sizes = "WARNING: number of sectors from directory 1130 different from disk image size ",
        corrupt = "WARNING: CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: ", bad = corrupt + "BAD.SEC\n" + corrupt + "GONE\n",
        required = "CORRUPT DIRECTORY, DRE REQUIRED !\n";
    struct {
        Bytes image;
        std::string form, err;
        Names shown; // none: not mounted
    } cases[] = {
        {sound, "form=B", bad, SHOWN}, {sound, "form=D", bad, SHOWN}, {sound, "form=A", bad, SHOWN},
        {sound, "form=P", bad, SHOWN}, {longer, "form=D", sizes + "1131\n" + RECOMMENDED + "ERROR: " + required, {}},
        {longer, "force,form=D", sizes + "1131\n" + RECOMMENDED + "WARNING: " + required + bad, SHOWN},
        {cut, "force,form=D", "WARNING: disk image size is not a multiple of KAVOLT sector size\n" + sizes + "313\n" +
            RECOMMENDED + "WARNING: " + required + corrupt + "NOTHING.DAT\n" + bad, {"DATA", "TEXT.TXT"}},
    }; // clang-format on
    for (const auto& c : cases) {
        Disk disk(c.image);
        Mount m(disk);
        RunResult r = m.mount({"-o", c.form});
        bool mounted = !c.shown.empty();
        EXPECT_EQ(outcome(r), (mounted ? "0||" : "1||") + c.err);
        EXPECT_EQ(mounted_at(m.point), mounted);
        if (!mounted) continue;
        EXPECT_EQ(m.names(), c.shown);
        for (const std::string& name : c.shown) {
            if (c.image.size() == cut.size() && name == "DATA") {
                EXPECT_EQ(read_all(m.at(name)).second, EIO);
                continue;
            }
            Bytes expected = rea_output(disk, c.form.substr(c.form.size() - 1), name);
            struct stat st {};
            ASSERT_EQ(stat(m.at(name).c_str(), &st), 0);
            EXPECT_EQ(std::tie(st.st_size, st.st_mtime, st.st_mode, st.st_uid),
                      std::make_tuple(static_cast<off_t>(expected.size()), local_time(1999, 12, 24),
                                      S_IFREG | 0444u, getuid()));
            EXPECT_EQ(read_all(m.at(name)), std::make_pair(expected, 0)) << c.form << " " << name;
        }
    }
}

TEST_F(MountTest, ChangesOfTheImageShowWhileMounted) {
    Disk disk(sample());
    Mount m(disk);
    ASSERT_EQ(m.mount({"-o", "form=D"}).status, 0);
    int data = open(m.at("DATA").c_str(), O_RDONLY);
    Bytes data_bytes = rea_output(disk, "D", "DATA");
    ASSERT_EQ(disk.run("WRI", {"-o", "D", disk.host("NEW.DAT", Bytes(3000, 0x5A))}).status, 0);
    // The name is looked up before anything lists the folder.
    EXPECT_EQ(read_all(m.at("NEW.DAT")), std::make_pair(rea_output(disk, "D", "NEW.DAT"), 0));
    EXPECT_EQ(m.names(), (Names{"DATA", "NEW.DAT", "NOTHING.DAT", "TEXT.TXT"}));
    EXPECT_EQ(read_all(data), std::make_pair(data_bytes, 0)) << "an open file keeps its bytes";
    ASSERT_EQ(disk.run("DEL", {"DATA"}).status, 0);
    EXPECT_EQ(m.names(), (Names{"NEW.DAT", "NOTHING.DAT", "TEXT.TXT"}));
    EXPECT_EQ(read_all(m.at("DATA")).second, ENOENT);
    EXPECT_EQ(read_all(data), std::make_pair(Bytes{}, EIO)) << "a deleted file is not read on";
    close(data);
    Bytes whole = disk.bytes();
    std::filesystem::resize_file(disk.image, 500 * 768); // now fails verification
    EXPECT_THROW(m.names(), std::filesystem::filesystem_error);
    write_file(disk.image, whole);
    EXPECT_EQ(m.names(), (Names{"NEW.DAT", "NOTHING.DAT", "TEXT.TXT"}));
}

TEST_F(MountTest, ErrorsAreOneLineAndMountNothing) {
    Disk disk(sample()), zeros(Bytes(300 * 768, 0));
    Mount busy(disk);
    ASSERT_EQ(busy.mount({}).status, 0);
    std::string free_point = disk.dir.file("free");
    std::filesystem::create_directory(free_point);
    // Run by sh: $V velmount, $I the image, $P a free mount point; the one line it prints.
    std::pair<std::string, std::string> cases[] = {
        {"$V $I.none $P", "cannot open disk image " + disk.image + ".none: No such file or directory"},
        {"$V " + zeros.image + " $P", zeros.image + " is not a VELTRA disk image"},
        {"$V $I $P.none", "mount point " + free_point + ".none: No such file"},
        {"$V $I " + busy.point, "mount point " + busy.point + " is busy"},
        {"unshare -m sh -c 'mount -t tmpfs none /dev && exec $V $I $P'",
         "no FUSE on this machine: cannot open /dev/fuse: No such file or directory"},
        {"$V -o form=Q $I $P", "unknown form \"Q\" (B, D, A or P)"},
    };
    for (const auto& [command, message] : cases) {
        RunResult r = shell("export V=" + std::string(VELMOUNT_PATH) + " I=" + disk.image +
                            " P=" + free_point + "; " + command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err.rfind("velmount: " + message, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(mounted_at(free_point)) << command;
    }
}

} // namespace
