// Writes the seed corpora of the fuzz targets into DIRECTORY/<target>/, from the test-side
// image builder, the KAVOLT conversions and the sample data files that make_sample wrote
// into SAMPLES.
//
// Usage: make_fuzz_corpus DIRECTORY SAMPLES
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/words.h"
#include "tests/support/disk.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

fs::path corpus;

void seed(const std::string& target, int n, const Bytes& bytes) {
    fs::create_directories(corpus / target);
    std::ofstream out(corpus / target / ("seed-" + std::to_string(n)), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

test::FileSpec described(const std::string& name, std::int64_t words) {
    test::FileSpec f = test::named(name, words, Bytes(static_cast<std::size_t>(words * 3), 0xC1));
    f.ext = "SAV";
    f.tag = "T1";
    f.date = test::bcd3(24, 12, 99);
    f.comment = "SEED";
    f.load_address = 01000;
    f.program_start = 01010;
    return f;
}

std::vector<test::ImageBuilder> images() {
    std::vector<test::ImageBuilder> all;
    test::ImageBuilder plain(240, 8, test::bcd3(2, 1, 90));
    plain.comment("FUZZ SEED").default_partition_table();
    plain.file(test::named("A", 300)).file(described("PROG", 40)).empty(2);
    plain.deleted(0, test::named("D", 100)).file(test::named("B", 0));
    all.push_back(plain);

    test::ImageBuilder chained(300, 9);
    for (int i = 0; i < 34; ++i)
        chained.file(test::named("F" + std::to_string(i), i % 3));
    all.push_back(chained);

    test::FileSpec damaged = test::named("BAD", 20);
    damaged.sector_size_word = -3;
    damaged.sector_name = "OTHER";
    test::FileSpec deleted_magic = described("GONE", 10);
    deleted_magic.magic = test::DELETED_MAGIC;
    test::ImageBuilder broken(240, 8);
    broken.file(damaged).file(deleted_magic).raw_entry({-1, 0, 0, 0, 0, 0, 0, 0}, 1).no_fill();
    all.push_back(broken);
    return all;
}

// The image from sector 191 on, without the zeros at its end.
Bytes directory_part(const Bytes& image) {
    Bytes part(image.begin() + 191 * test::SECTOR, image.end());
    while (!part.empty() && part.back() == 0)
        part.pop_back();
    return part;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_fuzz_corpus DIRECTORY SAMPLES\n";
        return 2;
    }
    corpus = argv[1];
    fs::path samples = argv[2];

    int n = 0, m = 0;
    for (const test::ImageBuilder& builder : images()) {
        Bytes image = builder.build();
        seed("directory", n++, directory_part(image));
        for (std::size_t k = 0; k < 3; ++k) {
            auto slot = image.begin() + 192 * test::SECTOR + 48 + 24 * static_cast<std::ptrdiff_t>(k);
            // The start word of the entry; a raw entry may hold none.
            std::int64_t start = std::max<std::int64_t>(test::get24(image, slot - image.begin() + 9), 1);
            auto sector = image.begin() + (start - 1) * test::SECTOR;
            seed("directory_sector", m++, Bytes(slot, slot + 24) + Bytes(sector, sector + test::SECTOR));
        }
    }

    test::FileSpec program = described("PROG", 300);
    Bytes file_image = test::directory_sector(program, 500) + program.data;
    Bytes packed;
    for (int i = -2; i < 6; ++i)
        packed = packed + Bytes{static_cast<std::uint8_t>(i * 37), 0, static_cast<std::uint8_t>(i), 0};
    seed("host_forms", 0, Bytes{0} + file_image);
    seed("host_forms", 1, Bytes{1} + file_image);
    seed("host_forms", 2, Bytes{2} + program.data);
    seed("host_forms", 3, Bytes{3} + text("FIRST LINE\nSECOND LINE\r\n\f"));
    seed("host_forms", 4, Bytes{5} + packed);

    Bytes proton = read(samples / "PROTON.FID"), noesy = read(samples / "noesy");
    Bytes length{static_cast<std::uint8_t>(noesy.size() & 0xFF),
                 static_cast<std::uint8_t>(noesy.size() >> 8)};
    seed("parmdump", 0, Bytes{0} + proton);
    seed("parmdump", 1, Bytes{1} + length + noesy + read(samples / "p_noesy"));
    seed("parmdump", 2, Bytes{4} + noesy);

    const std::string names[] = {"PROG.SAV", "data.fid", "A", "LONGNAME.EXTN"};
    for (int i = 0; i < 4; ++i) {
        Bytes words(18, 0);
        kavolt::name_to_words(names[i], words.data());
        kavolt::put_date(test::local_time(1990 + 3 * i, 1 + i, 1 + 7 * i, 12, 30), words.data() + 9,
                         words.data() + 12);
        kavolt::put_word(-i * 4099, words.data() + 15);
        seed("conversions", i, words + text(names[i]));
    }
    return 0;
}
