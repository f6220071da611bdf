// The library's typed calls against what the commands print and write: read() and velrea's
// host files, files() and veldir's listing, errors and kept warnings, two images, two threads.
#include <gtest/gtest.h>

#include <cerrno>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/disk.h"
#include "veltra/image.h"

using namespace test;
using veltra::Access;
using veltra::Form;

namespace {

const std::pair<Form, const char*> FORMS[] = {
    {Form::file_image, "B"}, {Form::data, "D"}, {Form::text, "A"}, {Form::packed, "P"}};

// Names, attributes (word and letters), start sector, tag and size of each file: from the library,
// or from the entries of a --json listing (whose fields json_test.cpp checks against the text).
using Fields = std::vector<std::vector<nlohmann::json>>;
Fields fields_of(const std::vector<veltra::File>& files) {
    Fields fields;
    for (const veltra::File& f : files)
        fields.push_back({f.full_name, f.name, f.extension, f.attributes, f.attribute_letters, f.start_sector,
                          f.tag, f.size_words});
    return fields;
}
Fields fields_of(const RunResult& listing) {
    Fields fields;
    nlohmann::json doc = nlohmann::json::parse(listing.out);
    for (const auto& e : doc["entries"])
        if (e["kind"] != "empty")
            fields.push_back({e["full_name"], e["name"], e["extension"], e["attribute_word"],
                              e["attribute_letters"], e["start_sector"], e["tag"], e["size_words"]});
    return fields;
}

std::string warning_lines(const veltra::Image& image) {
    std::string text;
    for (const auto& w : image.warnings())
        text += "WARNING: " + w.text + "\n";
    return text;
}

} // namespace

TEST(Library, ReadGivesVelreasBytesInEveryForm) {
    FileSpec dated = file_spec("DATED.BIN", 700, 3);
    dated.date = bcd3(24, 12, 99), dated.load_address = 0100, dated.program_start = 0110,
    dated.comment = "NOTE";
    ImageBuilder b(4000);
    b.file(named("TEXT.TXT", 3, {0xC1, 0xC2, 0x8D, 0x8A, 0xC3, 0x84, 0xC5})).file(dated);
    Disk d(b.file(named("EMPTY", 0)).file(file_spec("BIG", 400000, 1)));
    veltra::Image image = veltra::Image::open(d.image, Access::read);
    std::vector<veltra::File> files = image.files();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(std::tie(files[1].date, files[1].load_address, files[1].program_start, files[1].comment),
              std::make_tuple(local_time(1999, 12, 24), 0100, 0110, std::string("NOTE")));
    for (const veltra::File& file : files) {
        for (auto [form, letter] : FORMS) {
            std::string out = d.dir.file(std::string(letter) + "-");
            ASSERT_EQ(d.run("REA", {"-o", letter, "-f", out, file.full_name}).status, 0);
            Bytes all = read_file(out + file.full_name), tail;
            EXPECT_EQ(image.read(file.full_name, form), all) << file.full_name << " " << letter;
            EXPECT_EQ(veltra::host_size(file.size_words, form), form == Form::text ? -1 : std::ssize(all));
            // From an offset inside a word and, for BIG, in its second run.
            std::int64_t at = std::max<std::int64_t>(1, std::ssize(all) - 1001);
            image.read(file.full_name, form, at, [&](const std::uint8_t* run, std::size_t n) {
                return tail.insert(tail.end(), run, run + n), true;
            });
            EXPECT_EQ(tail, Bytes(all.begin() + std::min(at, std::ssize(all)), all.end())) << file.full_name;
        }
    }
    // In runs: BIG takes two; a take that says no after the first gets no more.
    int runs = 0;
    Bytes first;
    image.read("BIG", Form::data, [&](const std::uint8_t* run, std::size_t n) {
        first.assign(run, run + n);
        return ++runs, false;
    });
    Bytes whole = image.read("BIG", Form::data);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(first, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(first.size())));
    EXPECT_LT(first.size(), whole.size());
}

TEST(Library, FilesAsVeldirListsThem) {
    for (const char* text : {"400 A:10 B$TG:300:PX C:5:CR D$XY:5:NI E:0:I -3 F.LONG$T:10:b G:1:m",
                             "400/9 -5 ~X:0@2 Y:0", "400 A:10 -20 ~X:256@2 ~Y$T:0@8 B:0"}) {
        Disk d(text);
        veltra::Image image = veltra::Image::open(d.image, Access::read);
        EXPECT_EQ(fields_of(image.files()), fields_of(d.run("DIR", {"--json"}))) << text;
        EXPECT_EQ(warning_lines(image), d.run("DIR", {}).err) << text;
        EXPECT_EQ(fields_of(image.deleted_files()), fields_of(d.run("DDI", {"--json"}))) << text;
    }
}

TEST(Library, ErrorsAndKeptWarnings) {
    Disk d("400 A:10 B:5:P"), damaged("400 A:10:b");
    Bytes bad_header = d.bytes();
    put24(bad_header, 192 * SECTOR + 15, 7);
    Disk header(bad_header);
    auto open = [](const Disk& disk, Access access = Access::read) {
        return veltra::Image::open(disk.image, access);
    };
    std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { veltra::Image::open(d.image + ".none", Access::read); },
         "cannot open VELTRA disk image " + d.image + ".none|" + std::to_string(ENOENT)},
        {[&] { open(header).files(); },
         "number of directory blocks 7 not between 8 and 256\nCORRUPT DIRECTORY, DRE REQUIRED !|0"},
        {[&] { open(d).read("NOPE", Form::data); }, "FILE NOT FOUND: NOPE|0"},
        {[&] { open(damaged).read("A", Form::data); }, "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: A|0"},
        {[&] { open(d).remove("A"); },
         "disk image " + d.image + " is open for reading only|" + std::to_string(EBADF)},
        {[&] { open(d).write(d.image, Form::data); },
         "disk image " + d.image + " is open for reading only|" + std::to_string(EBADF)},
        {[&] { open(d).run("xyz"); }, "illegal command \"xyz\"|0"},
        {[&] { open(d).run("dir", {"-q"}); }, "illegal option \"-q\"|0"},
        {[&] { open(d, Access::change).run("cop", {"A"}); }, "DESTINATION FILENAME NOT SPECIFIED|0"},
    };
    for (const auto& [call, error] : cases)
        EXPECT_EQ(error_of(call), error);
    // A protected file stays, with del's warning; the warnings of a damaged directory are
    // kept in veldir's order.
    veltra::Image image = open(d, Access::change);
    EXPECT_FALSE(image.remove("B"));
    EXPECT_EQ(warning_lines(image), "WARNING: PROTECTED FILE B NOT DELETED\n");
    veltra::Image hurt = open(damaged);
    hurt.files();
    EXPECT_EQ(warning_lines(hurt), damaged.run("DIR", {}).err);
}

TEST(Library, TwoImagesSideBySide) {
    Disk a("400 A:10"), b("400 B:20");
    Bytes b_before = b.bytes();
    {
        veltra::Image first = veltra::Image::open(a.image, Access::change);
        veltra::Image second = veltra::Image::open(b.image, Access::read);
        Bytes data = pattern(3000, 4);
        EXPECT_TRUE(first.write("sub/NEW.DAT", data, Form::data)); // named as the host file NEW.DAT
        EXPECT_TRUE(first.rename("A", "RENAMED"));
        EXPECT_EQ(first.read("NEW.DAT", Form::data), data);
        EXPECT_EQ(first.run("dir", {"-o", "n"}), "RENAMED      \nNEW     .DAT \n");
        EXPECT_EQ(second.run("dir", {"-o", "n"}), "B            \n");
        EXPECT_TRUE(first.remove("NEW.DAT"));
        EXPECT_FALSE(first.write(a.host("EMPTY", {}), Form::file_image));
        EXPECT_EQ(warning_lines(first),
                  "WARNING: VELTRA file " + a.dir.file("EMPTY") + " contains no data\n");
    }
    EXPECT_EQ(a.run("DIR", {"-o", "n"}).out, "RENAMED      \n");
    EXPECT_EQ(b.bytes(), b_before);
}

// Each thread lists, reads and runs dir on its own image, over and over, at the same time.
TEST(Library, TwoThreadsEachOnItsOwnImage) {
    ImageBuilder builder(6000, 16);
    for (int i = 0; i < 200; ++i)
        builder.file(file_spec("F" + std::to_string(i), 300 + i, i));
    Disk disks[2] = {Disk(builder.build()), Disk(builder.build())};
    std::string expected = disks[0].run("DIR", {"-o", "F"}).out;
    Bytes file = veltra::Image::open(disks[0].image, Access::read).read("F7", Form::packed);
    bool same[2] = {true, true};
    auto work = [&](int k) {
        veltra::Image image = veltra::Image::open(disks[k].image, Access::read);
        for (int round = 0; round < 5; ++round) {
            same[k] = same[k] && image.files().size() == 200 && image.read("F7", Form::packed) == file &&
                      image.run("dir", {"-o", "F"}) == expected;
        }
    };
    std::thread one(work, 0), two(work, 1);
    one.join(), two.join();
    EXPECT_TRUE(same[0] && same[1]);
}
