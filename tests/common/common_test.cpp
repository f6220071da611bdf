// The conversions both programs share: words, floating and decimal values, six-bit
// characters, 8-bit text, names and dates.
#include <gtest/gtest.h>
#include <string>

#include "common/text.h"
#include "parmdump/tools/packing.h"

using namespace kavolt;

namespace {

// Two words given in octal, as KAVOLT listings show them.
double float_of(std::int32_t first, std::int32_t second) {
    Byte bytes[6];
    put_word(first, bytes);
    put_word(second, bytes + 3);
    return get_float(bytes);
}

std::string round_trip_name(std::string_view host) {
    Byte words[9];
    name_to_words(host, words);
    FullName name;
    name_from_words(name, words);
    return name;
}

} // namespace

TEST(Words, IntegersBcdFloatingAndDecimal) {
    // Signed, unsigned, BCD and decimal reading of one word.
    auto word = [](std::int32_t value) {
        Byte b[3];
        put_word(value, b);
        return std::to_string(get_word(b)) + " " + std::to_string(get_uword(b)) + " " +
               std::to_string(get_bcd_word(b)) + " " + std::to_string(get_decimal_word(b));
    };
    EXPECT_EQ(word(-1), "-1 16777215 1666665 4095.000000");
    EXPECT_EQ(word(0x800000), "-8388608 8388608 800000 0.000000");
    EXPECT_EQ(word(0x1234567), "2311527 2311527 234567 2220.000000");
    EXPECT_EQ(word(0x0000F0), "240 240 150 0.000003");
    EXPECT_EQ(word((1234 << 3) | 5), "9877 9877 2695 12.340000");

    // Floating values: sign, exponent, the 13 low mantissa bits and a carry when negating.
    // clang-format off
    for (auto [first, second, value] : {std::tuple{020000000, 000020000, 1.0}, {060000000, 000020000, -1.0},
             {040000000, 000040000, -4.0}, {020000000, 077760000, 0.25}, {077777777, 017777, -0x1p-36},
             {077777777, 0, -0x1p-23}, {020000000, 037760000, 0x1p1022}, {040000000, 040000000, -0x1p-1024}})
        EXPECT_EQ(float_of(first, second), value) << first << " " << second;
    // clang-format on
}

TEST(Text, HostNamesAsKavoltNames) {
    // clang-format off
    for (auto [host, name] : {std::pair{"/tmp/readme", "README"}, {"verylongname.extension", "VERYLONG.EXTE"},
             {"a.b.c", "A.B.C"}, {".login", "X.LOGI"}, {"dir/", "X"}, {"abcde.f", "ABCDE.F"}})
        EXPECT_EQ(round_trip_name(host), name) << host;
    // clang-format on
    EXPECT_EQ(round_trip_name(std::string(5000, 'd') + "/name.ext"), "NAME.EXT");
}

TEST(Dates, BcdDatesCenturiesAndTimes) {
    using packing::local_time;
    auto date = [](std::uint32_t d, std::uint32_t t = 0xFFFFFF) {
        Byte bytes[6];
        put_word(static_cast<std::int32_t>(d), bytes);
        put_word(static_cast<std::int32_t>(t), bytes + 3);
        return get_date(bytes, t == 0xFFFFFF ? nullptr : bytes + 3);
    };
    // 31 February is carried into March; a bad time is midnight; a bad date 1 January 1900.
    constexpr std::uint32_t NONE = 0xFFFFFF;
    // clang-format off
    for (auto [d, t, when] : {std::tuple{0x241299u, NONE, local_time(1999, 12, 24)},
             {0x311269u, NONE, local_time(2069, 12, 31)}, {0x010170u, NONE, local_time(1970, 1, 1)},
             {0x310205u, NONE, local_time(2005, 3, 3)}, {0u, NONE, 0}, {0x320105u, NONE, 0},
             {0x011305u, NONE, 0}, {0x010105u, 0x134507u, local_time(2005, 1, 1, 13, 45, 7)},
             {0x010105u, 0x106000u, local_time(2005, 1, 1)},
             {0u, 0x134507u, local_time(1900, 1, 1, 13, 45, 7)}})
        EXPECT_EQ(date(d, t), when) << std::hex << d << " " << t;
    // clang-format on

    Byte d[3] = {1, 2, 3}, t[3] = {4, 5, 6};
    put_date(0, d, t);
    EXPECT_EQ(get_uword(d) | get_uword(t), 0);
    put_date(local_time(2005, 1, 1, 13, 45, 7), d, t);
    EXPECT_EQ(get_uword(d) * 0x1000000LL + get_uword(t), 0x010105134507LL);
    put_date(local_time(2105, 7, 4), d, nullptr);
    EXPECT_EQ(get_uword(d), 0x040705);
}
