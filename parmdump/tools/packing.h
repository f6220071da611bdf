// Packs KAVOLT words, text, dates and whole parameter sectors with code of its own, apart
// from the programs' readers: the sample writer uses it, and the tests measure the programs
// against it.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace packing {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t SECTOR = 768;
constexpr std::uint32_t IDENTIFICATION = 021702365;

// Six-bit character code of up to 4 characters (blank filled).
std::uint32_t six_bit(const std::string& chars);
// Three BCD bytes of two-digit values, e.g. bcd3(24, 12, 99).
std::uint32_t bcd3(int a, int b, int c);
// Stores the low 24 bits of value at bytes[offset], most significant first.
void put24(Bytes& bytes, std::size_t offset, std::int64_t value);
std::int32_t get24(const Bytes& bytes, std::size_t offset);
// 8-bit text with bit 7 set, zero filled to n bytes, last byte zero.
Bytes text8(const std::string& text, std::size_t n);
// The host time of a local date and time.
std::time_t local_time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The two words of the KAVOLT floating value nearest to value (a 37-bit two's-complement
// mantissa with 36 fraction bits, an 11-bit exponent).
std::array<std::uint32_t, 2> float_words(double value);

// A sector of 256 words, built word by word.
class ParameterSector {
  public:
    // A zero sector; word 0 holds the identification word when `identified`.
    explicit ParameterSector(bool identified = true);

    ParameterSector& word(int n, std::int64_t value);
    ParameterSector& real(int n, double value); // words n and n + 1
    // Decimal word: mantissa (0 ... 4095) times 10 to the power (power - 7), power 0 ... 7.
    ParameterSector& decimal(int n, unsigned mantissa, unsigned power);
    ParameterSector& bcd(int n, int value);                 // six BCD digits
    ParameterSector& chars(int n, const std::string& text); // up to 4 characters
    // Three words: up to 8 name characters and up to 4 of the extension.
    ParameterSector& name(int n, const std::string& name, const std::string& extension = "");
    ParameterSector& comment(const std::string& text); // words 16 to 39
    // BCD bytes: day, month, year within the century (or hours, minutes, seconds).
    ParameterSector& date(int n, int day, int month, int year) { return word(n, bcd3(day, month, year)); }

    const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

struct HostForm {
    bool expanded = false; // 4 bytes per word, a little-endian signed integer
    bool swapped = false;  // the three bytes of every word reversed
};

// The host file of these sectors (each 768 bytes, 3 per word) in the given form.
Bytes host_file(const std::vector<Bytes>& sectors, HostForm form = {});

// The samples: FENDAR data with every header flag that it can show and a value in most
// parameters; TORGIL data whose second parameter sector is sector 3, and that sector.
ParameterSector fendar_sector();
ParameterSector torgil_sector();
ParameterSector torgil_second_sector();

} // namespace packing
