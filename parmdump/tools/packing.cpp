#include "parmdump/tools/packing.h"

#include <cmath>
#include <stdexcept>

namespace packing {

std::uint32_t six_bit(const std::string& chars) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        unsigned char c = i < chars.size() ? static_cast<unsigned char>(chars[i]) : ' ';
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        std::uint32_t code = c;
        if (c == ' ') {
            code = 0;
        } else if (c == '@') {
            code = 32;
        } else if (c >= 'A' && c <= '_') {
            code = c - 'A' + 1;
        } else if (c < '!' || c > '?') {
            throw std::invalid_argument("no six-bit code for this character");
        }
        word = (word << 6) | code;
    }
    return word;
}

std::uint32_t bcd3(int a, int b, int c) {
    auto bcd = [](int v) { return static_cast<std::uint32_t>((v / 10) << 4 | (v % 10)); };
    return bcd(a) << 16 | bcd(b) << 8 | bcd(c);
}

void put24(Bytes& bytes, std::size_t offset, std::int64_t value) {
    if (bytes.size() < offset + 3) bytes.resize(offset + 3);
    bytes[offset] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    bytes[offset + 2] = static_cast<std::uint8_t>(value & 0xFF);
}

std::int32_t get24(const Bytes& bytes, std::size_t offset) {
    std::int32_t value = bytes.at(offset) << 16 | bytes.at(offset + 1) << 8 | bytes.at(offset + 2);
    return value >= 0x800000 ? value - 0x1000000 : value;
}

Bytes text8(const std::string& text, std::size_t n) {
    Bytes field(n, 0);
    for (std::size_t i = 0; i + 1 < n && i < text.size(); ++i)
        field[i] = static_cast<std::uint8_t>(text[i] | 0x80);
    return field;
}

std::time_t local_time(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::array<std::uint32_t, 2> float_words(double value) {
    if (value == 0) return {0, 0};
    int exponent = 0;
    double fraction = std::frexp(value, &exponent); // 0.5 <= |fraction| < 1
    std::int64_t mantissa = std::llround(std::ldexp(fraction, 36));
    if (mantissa == (std::int64_t{1} << 36)) {
        mantissa /= 2;
        ++exponent;
    }
    if (exponent < -1024 || exponent > 1023) throw std::out_of_range("no KAVOLT floating value");
    auto bits = static_cast<std::uint64_t>(mantissa) & ((std::uint64_t{1} << 37) - 1);
    auto first = static_cast<std::uint32_t>(bits >> 13) & 0xFFFFFF;
    auto second =
        (static_cast<std::uint32_t>(exponent) & 0x7FF) << 13 | static_cast<std::uint32_t>(bits & 0x1FFF);
    return {first, second};
}

ParameterSector::ParameterSector(bool identified) : bytes_(SECTOR, 0) {
    if (identified) word(0, IDENTIFICATION);
}

ParameterSector& ParameterSector::word(int n, std::int64_t value) {
    if (n < 0 || n > 255) throw std::out_of_range("word number");
    put24(bytes_, static_cast<std::size_t>(3 * n), value);
    return *this;
}

ParameterSector& ParameterSector::real(int n, double value) {
    auto words = float_words(value);
    return word(n, words[0]).word(n + 1, words[1]);
}

ParameterSector& ParameterSector::decimal(int n, unsigned mantissa, unsigned power) {
    if (mantissa > 4095 || power > 7) throw std::out_of_range("no decimal word");
    return word(n, mantissa << 3 | power);
}

ParameterSector& ParameterSector::bcd(int n, int value) {
    std::uint32_t digits = 0;
    for (int digit = 0; digit < 6; ++digit, value /= 10)
        digits |= static_cast<std::uint32_t>(value % 10) << (4 * digit);
    return word(n, digits);
}

ParameterSector& ParameterSector::chars(int n, const std::string& text) {
    return word(n, six_bit(text));
}

ParameterSector& ParameterSector::name(int n, const std::string& name, const std::string& extension) {
    word(n, six_bit(name.substr(0, 4)));
    word(n + 1, six_bit(name.size() > 4 ? name.substr(4, 4) : ""));
    return word(n + 2, six_bit(extension));
}

ParameterSector& ParameterSector::comment(const std::string& text) {
    Bytes field = text8(text, 72);
    std::copy(field.begin(), field.end(), bytes_.begin() + 48);
    return *this;
}

Bytes host_file(const std::vector<Bytes>& sectors, HostForm form) {
    Bytes file;
    for (const Bytes& sector : sectors) {
        for (std::size_t i = 0; i + 3 <= sector.size(); i += 3) {
            std::uint8_t high = sector[i], middle = sector[i + 1], low = sector[i + 2];
            if (form.swapped) std::swap(high, low);
            if (form.expanded) {
                // The word as a signed 32-bit integer, least significant byte first.
                std::uint8_t sign = (high & 0x80) ? 0xFF : 0x00;
                file.insert(file.end(), {low, middle, high, sign});
            } else {
                file.insert(file.end(), {high, middle, low});
            }
        }
    }
    return file;
}

ParameterSector fendar_sector() {
    ParameterSector s;
    s.name(1, "SPECTRUM", "FID").word(5, 8192).date(10, 24, 12, 99);
    s.word(11, 8 | 3 << 8 | 1 << 15 | 1 << 18 | 1 << 19).chars(12, "RUN1").comment("PROTON 1D TEST");
    // Acquisition.
    s.word(40, 8192).word(41, 2).word(42, 1).word(43, 16384).word(44, 100).word(45, 6000);
    s.decimal(51, 3, 3).word(52, 4).real(53, 5000.0).word(56, 2).real(57, 1000.0).real(59, -500.0);
    s.real(63, 0.5).decimal(67, 15, 6).decimal(68, 55, 0).decimal(69, 15, 0).word(70, 64).word(71, 16);
    s.decimal(74, 5, 4).real(77, 400.0).word(81, 5 | 1 << 6).word(84, -1).word(85, 300);
    s.word(86, 1 << 0 | 1 << 2 | 1 << 3 | 1 << 4 | 1 << 5 | 1 << 6 | 1 << 7 | 1 << 10 | 1 << 13);
    s.word(87, 2).word(88, 1 | 1 << 6).bcd(89, 300000).bcd(90, 4001).decimal(94, 1, 4);
    s.real(98, 399.5).real(100, 100.5).name(103, "AUPROG", "SEQ");
    // Automation: D0, D1, S0, S1, S9, P0, P1, V9.
    s.decimal(109, 2, 7).decimal(110, 1, 0).word(119, 5 | 1 << 6).word(120, 12).word(128, 127);
    s.decimal(129, 100, 0).decimal(130, 25, 1).word(139, -3).word(140, 3);
    // Plotting and processing.
    s.word(144, 3 << 10).date(145, 7, 3, 5).date(146, 13, 45, 7).real(153, 4500.0).real(155, -500.0);
    s.real(157, 800.0).real(159, 250.0).real(161, 200.0).word(163, 12).word(166, 1 << 22).word(167, -1024);
    s.word(168, 30).word(169, -1).real(170, 1.25).word(179, 4).word(180, 1).word(182, 7);
    s.real(188, 0.25).real(190, 0.125).word(192, 0x80 | 'E').word(195, 10).word(196, 20).word(197, 8192);
    s.real(202, 20.0).real(204, 25.0).real(217, 1.5).word(222, 16).real(224, 1024.0);
    return s;
}

ParameterSector torgil_sector() {
    ParameterSector s;
    s.name(1, "NOESYPHS", "SER").word(5, -8).word(11, 30 | 1 << 16 | 1 << 17 | 1 << 20);
    s.comment("NOESY MIX 100MS");
    // Acquisition.
    s.word(40, 512).word(41, 4).word(42, 2).word(43, 1024).word(44, 835).word(45, 7500).word(52, 2);
    s.real(53, 6000.0).real(57, 2000.0).decimal(67, 2, 7).word(70, 8).word(71, 4).real(77, 500.0);
    s.word(82, 5).word(85, 298).word(86, 1 << 1 | 1 << 8 | 1 << 9 | 1 << 10 | 1 << 11 | 1 << 12);
    s.word(88, 128).bcd(89, 123456).bcd(90, 5000).word(93, 250000).decimal(94, 5, 5).date(96, 23, 59, 59);
    // Automation: FD1, FD2, S1, S2; the second parameter sector and its list.
    s.decimal(103, 1, 7).decimal(104, 4095, 0).word(108, 2 | 1 << 6).word(109, 3);
    s.word(117, 3).word(126, 4).name(127, "VDLIST");
    // Plotting and processing.
    s.word(163, 0x41).word(164, 9).date(170, 1, 1, 0).real(177, 3000.0).real(179, -3000.0);
    s.real(181, -250.0).real(183, 1000.0).real(185, 100.0).word(187, 100).word(190, -(1 << 21));
    s.word(191, 8192).real(194, 0.5).word(204, -2).word(206, 3).real(212, 2.0).word(216, 'Q');
    s.word(219, 0).word(220, 0).word(221, 2048).real(226, 0.0).real(228, 20.0).real(241, 0.75);
    s.word(246, 32).real(248, 512.0);
    return s;
}

ParameterSector torgil_second_sector() {
    ParameterSector s(false);
    s.real(40, 1e8).real(42, 2e6).real(102, 5e7);
    s.word(104, 1).word(105, -1).word(119, 8388607);
    s.real(120, 0.25).real(134, -3.5);
    s.real(156, 1.5e8);
    return s;
}

} // namespace packing
