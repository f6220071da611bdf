#include "common/words.h"

#include <gtest/gtest.h>

using namespace kavolt;

namespace {

// Two words given in octal, as KAVOLT listings show them.
struct Pair {
    Byte bytes[6];
    Pair(std::int32_t first, std::int32_t second) {
        put_word(first, bytes);
        put_word(second, bytes + 3);
    }
};

} // namespace

TEST(Words, SignedAndUnsignedReading) {
    const Byte all_ones[] = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ(get_word(all_ones), -1);
    EXPECT_EQ(get_uword(all_ones), 16777215);
    const Byte lowest[] = {0x80, 0x00, 0x00};
    EXPECT_EQ(get_word(lowest), -8388608);
    EXPECT_EQ(get_uword(lowest), 8388608);
    const Byte highest[] = {0x7F, 0xFF, 0xFF};
    EXPECT_EQ(get_word(highest), 8388607);
    const Byte mixed[] = {0x12, 0x34, 0x56};
    EXPECT_EQ(get_word(mixed), 0x123456);
}

TEST(Words, PutWordKeepsTheLow24Bits) {
    Byte b[3];
    EXPECT_EQ(put_word(-1, b), -1);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[1], 0xFF);
    EXPECT_EQ(b[2], 0xFF);
    put_word(0x1234567, b);
    EXPECT_EQ(b[0], 0x23);
    EXPECT_EQ(b[1], 0x45);
    EXPECT_EQ(b[2], 0x67);
    put_word(16777216, b);
    EXPECT_EQ(get_uword(b), 0);
    put_word(-8388608, b);
    EXPECT_EQ(get_word(b), -8388608);
}

TEST(Words, BcdDigitsAreWeightedWithoutValidation) {
    const Byte digits[] = {0x12, 0x34, 0x56};
    EXPECT_EQ(get_bcd_word(digits), 123456);
    const Byte ten[] = {0x00, 0x00, 0x0A};
    EXPECT_EQ(get_bcd_word(ten), 10);
    const Byte high_group[] = {0xF0, 0x00, 0x00};
    EXPECT_EQ(get_bcd_word(high_group), 1500000);
    const Byte nines[] = {0x99, 0x99, 0x99};
    EXPECT_EQ(get_bcd_word(nines), 999999);
}

TEST(Words, FloatSignsAndExponents) {
    EXPECT_EQ(get_float(Pair(020000000, 0).bytes), 0.5);
    EXPECT_EQ(get_float(Pair(020000000, 000020000).bytes), 1.0);
    EXPECT_EQ(get_float(Pair(060000000, 0).bytes), -0.5);
    EXPECT_EQ(get_float(Pair(060000000, 000020000).bytes), -1.0);
    EXPECT_EQ(get_float(Pair(040000000, 0).bytes), -1.0);
    EXPECT_EQ(get_float(Pair(040000000, 000040000).bytes), -4.0);
    EXPECT_EQ(get_float(Pair(0, 0).bytes), 0.0);
    EXPECT_EQ(get_float(Pair(020000000, 077760000).bytes), 0.25);
}

TEST(Words, FloatUsesTheThirteenLowMantissaBits) {
    // Mantissa 1 in the lowest of its 37 bits: 2^-36.
    EXPECT_EQ(get_float(Pair(0, 1).bytes), 0x1p-36);
    // All 37 bits set is -1 in the lowest place: -2^-36.
    EXPECT_EQ(get_float(Pair(077777777, 017777).bytes), -0x1p-36);
    // A carry across the two pieces when negating: -(2^13) in the mantissa.
    EXPECT_EQ(get_float(Pair(077777777, 0).bytes), -0x1p-23);
    // Largest and smallest exponents.
    EXPECT_EQ(get_float(Pair(020000000, 037760000).bytes), 0x1p1022);
    EXPECT_EQ(get_float(Pair(040000000, 040000000).bytes), -0x1p-1024);
}

TEST(Words, DecimalWords) {
    Byte b[3];
    put_word((1234 << 3) | 5, b);
    EXPECT_DOUBLE_EQ(get_decimal_word(b), 12.34);
    put_word((1 << 3) | 0, b);
    EXPECT_EQ(get_decimal_word(b), 1 * 0.0000001);
    put_word(0xFF8000 | (1234 << 3) | 5, b);
    EXPECT_DOUBLE_EQ(get_decimal_word(b), 12.34);
    put_word((4095 << 3) | 7, b);
    EXPECT_DOUBLE_EQ(get_decimal_word(b), 4095.0);
}

TEST(Words, DecimalWordMultipliesStepByStep) {
    // m * 1e-7, then times ten e times; one power-of-ten multiply may differ in the last bit.
    for (int m : {1, 3, 7, 999, 4095}) {
        for (int e = 0; e < 8; ++e) {
            Byte b[3];
            put_word((m << 3) | e, b);
            double expected = m * 0.0000001;
            for (int i = 0; i < e; ++i)
                expected *= 10.0;
            EXPECT_EQ(get_decimal_word(b), expected) << m << " " << e;
        }
    }
}
