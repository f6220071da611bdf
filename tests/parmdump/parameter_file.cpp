#include "tests/parmdump/parameter_file.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>

namespace test {

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

std::uint32_t decimal_word(unsigned mantissa, unsigned power) {
    if (mantissa > 4095 || power > 7) throw std::out_of_range("no decimal word");
    return mantissa << 3 | power;
}

std::uint32_t bcd_word(int value) {
    std::uint32_t word = 0;
    for (int digit = 0; digit < 6; ++digit) {
        word |= static_cast<std::uint32_t>(value % 10) << (4 * digit);
        value /= 10;
    }
    return word;
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
    return word(n, decimal_word(mantissa, power));
}

ParameterSector& ParameterSector::bcd(int n, int value) {
    return word(n, bcd_word(value));
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
    std::vector<std::uint8_t> field = text8(text, 72);
    std::copy(field.begin(), field.end(), bytes_.begin() + 48);
    return *this;
}

ParameterSector& ParameterSector::date(int n, int day, int month, int year) {
    return word(n, bcd3(day, month, year));
}

ParameterSector& ParameterSector::time(int n, int hours, int minutes, int seconds) {
    return word(n, bcd3(hours, minutes, seconds));
}

std::vector<std::uint8_t> host_file(const std::vector<std::vector<std::uint8_t>>& sectors, HostForm form) {
    std::vector<std::uint8_t> file;
    for (const auto& sector : sectors) {
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

std::string parmdump_path() {
    return PARMDUMP_PATH;
}

RunResult run_parmdump(const std::vector<std::string>& arguments, const std::string& argv0,
                       const std::string& cwd) {
    return run_program(parmdump_path(), arguments, argv0, cwd);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void expect_lines(const std::string& actual, const std::string& expected) {
    std::vector<std::string> got = lines_of(actual);
    std::vector<std::string> want = lines_of(expected);
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        EXPECT_EQ(got[i], want[i]) << "line " << i + 1;
    EXPECT_EQ(got.size(), want.size()) << "number of lines";
    EXPECT_TRUE(actual.empty() || actual.back() == '\n') << "the output ends with a line end";
}

} // namespace test
