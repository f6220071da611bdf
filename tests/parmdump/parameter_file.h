// Builds parameter sectors and data files for parmdump tests, with packing code of its own so
// that tests do not merely mirror the code under test.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/image_builder.h"
#include "tests/support/run.h"

namespace test {

constexpr std::uint32_t IDENTIFICATION = 021702365;

// The two words of the KAVOLT floating value nearest to value (a 37-bit two's-complement
// mantissa with 36 fraction bits, an 11-bit exponent).
std::array<std::uint32_t, 2> float_words(double value);
// Decimal word: mantissa (0 ... 4095) times 10 to the power (power - 7), power 0 ... 7.
std::uint32_t decimal_word(unsigned mantissa, unsigned power);
// Six BCD digits of value (0 ... 999999).
std::uint32_t bcd_word(int value);

// A sector of 256 words, built word by word.
class ParameterSector {
  public:
    // A zero sector; word 0 holds the identification word when `identified`.
    explicit ParameterSector(bool identified = true);

    ParameterSector& word(int n, std::int64_t value);
    ParameterSector& real(int n, double value); // words n and n + 1
    ParameterSector& decimal(int n, unsigned mantissa, unsigned power);
    ParameterSector& bcd(int n, int value);
    ParameterSector& chars(int n, const std::string& text); // up to 4 characters
    // Three words: up to 8 name characters and up to 4 of the extension.
    ParameterSector& name(int n, const std::string& name, const std::string& extension = "");
    ParameterSector& comment(const std::string& text); // words 16 to 39
    // BCD bytes: day, month, year within the century (or hours, minutes, seconds).
    ParameterSector& date(int n, int day, int month, int year);
    ParameterSector& time(int n, int hours, int minutes, int seconds);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

struct HostForm {
    bool expanded = false; // 4 bytes per word, a little-endian signed integer
    bool swapped = false;  // the three bytes of every word reversed
};

// The host file of these sectors (each 768 bytes, 3 per word) in the given form.
std::vector<std::uint8_t> host_file(const std::vector<std::vector<std::uint8_t>>& sectors,
                                    HostForm form = {});

// Runs build/parmdump with the arguments (argv[0] = argv0 when given, in directory cwd).
RunResult run_parmdump(const std::vector<std::string>& arguments, const std::string& argv0 = "",
                       const std::string& cwd = "");
std::string parmdump_path();

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);
// Compares two texts line by line, naming the first lines that differ.
void expect_lines(const std::string& actual, const std::string& expected);

} // namespace test
