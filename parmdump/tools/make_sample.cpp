// Writes sample spectrometer data files for trying parmdump:
//   PROTON.FID          FENDAR data, one file whose sector 0 is the parameter sector
//   noesy and p_noesy   TORGIL data, a data file with its parameter file beside it; the
//                       data file also holds the second parameter sector
//
// Usage: make_sample [directory]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/words.h"

namespace {

using kavolt::Byte;

constexpr std::size_t SECTOR = 768;
constexpr std::int32_t IDENTIFICATION = 0x4784F5;

struct Sector {
    std::vector<Byte> bytes = std::vector<Byte>(SECTOR, 0);

    Byte* at(int word) { return bytes.data() + 3 * word; }
    Sector& word(int n, std::int32_t value) {
        kavolt::put_word(value, at(n));
        return *this;
    }
    // A KAVOLT floating value: 37-bit mantissa with 36 fraction bits, 11-bit exponent.
    Sector& real(int n, double value) {
        int exponent = 0;
        double fraction = value == 0 ? 0 : std::frexp(value, &exponent);
        auto mantissa = static_cast<std::int64_t>(std::ldexp(fraction, 36));
        word(n, static_cast<std::int32_t>((mantissa >> 13) & 0xFFFFFF));
        return word(n + 1, static_cast<std::int32_t>((exponent & 0x7FF) << 13 | (mantissa & 0x1FFF)));
    }
    // Decimal word: mantissa times 10 to the power (power - 7).
    Sector& decimal(int n, int mantissa, int power) { return word(n, mantissa << 3 | power); }
    Sector& chars(int n, const std::string& text) {
        kavolt::pack_chars(text, at(n));
        return *this;
    }
    Sector& comment(const std::string& text) {
        kavolt::put_text(text, std::span<Byte>(at(16), 72));
        return *this;
    }
    Sector& name(int n, const std::string& full_name) {
        kavolt::name_to_words(full_name, at(n));
        return *this;
    }
    Sector& date(int n, int year, int month, int day, int time_word = -1, int hour = 0, int minute = 0) {
        std::tm calendar{};
        calendar.tm_year = year - 1900;
        calendar.tm_mon = month - 1;
        calendar.tm_mday = day;
        calendar.tm_hour = hour;
        calendar.tm_min = minute;
        calendar.tm_isdst = -1;
        kavolt::put_date(std::mktime(&calendar), at(n), time_word < 0 ? nullptr : at(time_word));
        return *this;
    }
};

Sector fendar_parameters() {
    Sector s;
    s.word(0, IDENTIFICATION).name(1, "PROTON.FID").word(5, 16384).date(10, 1989, 11, 14);
    s.word(11, 8).chars(12, "KH").comment("ETHYLBENZENE IN CDCL3, 300 K");
    s.word(40, 16384).word(41, 4).word(42, 1).word(43, 16384).word(44, 208).word(45, 3000).word(52, 2);
    s.real(53, 2400.0).real(57, 1200.0).decimal(67, 10, 7).decimal(68, 35, 1).decimal(69, 20, 1);
    s.word(70, 16).word(71, 16).real(77, 200.13).word(81, 3).word(85, 300).word(86, 1 << 4 | 1 << 5);
    s.word(87, 2).word(88, 0x45).word(89, 0x300000).word(90, 0x2001).real(98, 200.13);
    s.word(140, 20).word(144, 3 << 10).date(145, 1989, 11, 14, 146, 16, 42);
    s.real(153, 2200.0)
        .real(155, -200.0)
        .real(159, 1450.0)
        .real(161, 100.0)
        .word(168, 200000)
        .word(179, 100000);
    s.real(202, 20.0).real(204, 24.0).real(188, 0.3).word(192, 'E').word(166, 1 << 21).real(224, 4096.0);
    return s;
}

Sector torgil_parameters() {
    Sector s;
    s.word(0, IDENTIFICATION).name(1, "NOESY.SER").word(5, -64).date(10, 1994, 3, 2);
    s.word(11, 30).chars(12, "MX").comment("NOESY, MIXING TIME 150 MS");
    s.word(40, 1024).word(41, 8).word(42, 1).word(43, 1024).word(44, 1667).word(45, 4000).word(52, 4);
    s.real(53, 6000.0).real(57, 2500.0).decimal(67, 15, 7).word(70, 32).word(71, 4).real(77, 500.13);
    s.word(82, 1).word(85, 298).word(86, 1 << 12 | 1 << 1).word(88, 256).word(89, 0x300000);
    s.word(90, 0x5001).decimal(94, 1, 4).date(170, 1994, 3, 2, 96, 9, 5).word(117, 4);
    s.word(126, 8).name(127, "VDLIST").word(168, 2 << 10).real(183, -2500.0).real(185, 150.0);
    s.real(226, 10.0)
        .real(228, 20.0)
        .real(248, 1e5)
        .word(192, 30000)
        .word(203, 1000)
        .real(212, 1.0)
        .word(216, 'Q');
    return s;
}

Sector torgil_lists() {
    Sector s;
    for (int k = 0; k < 32; ++k)
        s.real(40 + 2 * k, k < 4 ? 1e8 * (k + 1) : 0.0);
    for (int k = 0; k < 16; ++k)
        s.word(104 + k, k < 3 ? 4 * (k + 1) : 0);
    s.real(120, 1.0).real(122, 0.5).real(156, 1.5e7);
    return s;
}

bool write(const std::string& path, const std::vector<Sector>& sectors) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const Sector& sector : sectors)
        out.write(reinterpret_cast<const char*>(sector.bytes.data()), SECTOR);
    out.close();
    if (!out) std::fprintf(stderr, "make_sample: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    std::string directory = argc > 1 ? argv[1] : ".";
    Sector data;
    for (Byte& b : data.bytes)
        b = 0x12;
    bool written = write(directory + "/PROTON.FID", {fendar_parameters(), data, data}) &&
                   write(directory + "/p_noesy", {torgil_parameters()}) &&
                   write(directory + "/noesy", {data, data, data, data, torgil_lists()});
    return written ? 0 : 1;
}
