#include <gtest/gtest.h>

#include "common/words.h"
#include "tests/parmdump/parameter_file.h"

using test::float_words;

// The generator's own encoding against the KAVOLT examples and the tested decoder.
TEST(ParameterFileBuilder, FloatingValues) {
    using Words = std::array<std::uint32_t, 2>;
    EXPECT_EQ(float_words(0.5), (Words{020000000, 0}));
    EXPECT_EQ(float_words(1.0), (Words{020000000, 020000}));
    EXPECT_EQ(float_words(-0.5), (Words{060000000, 0}));
    EXPECT_EQ(float_words(0.25), (Words{020000000, 077760000}));
    EXPECT_EQ(float_words(0.0), (Words{0, 0}));
    for (double value : {400.13, -3.5, 1e8, 1.5e8, 0.0004095, -8388608.0, 1e-12}) {
        Words words = float_words(value);
        kavolt::Byte bytes[6];
        kavolt::put_word(static_cast<std::int32_t>(words[0]), bytes);
        kavolt::put_word(static_cast<std::int32_t>(words[1]), bytes + 3);
        EXPECT_NEAR(kavolt::get_float(bytes), value, std::abs(value) * 1e-10) << value;
    }
}

TEST(ParameterFileBuilder, HostForms) {
    std::vector<std::uint8_t> sector{0x47, 0x84, 0xF5, 0x80, 0x00, 0x01};
    EXPECT_EQ(test::host_file({sector}), sector);
    EXPECT_EQ(test::host_file({sector}, {false, true}),
              (std::vector<std::uint8_t>{0xF5, 0x84, 0x47, 0x01, 0x00, 0x80}));
    EXPECT_EQ(test::host_file({sector}, {true, false}),
              (std::vector<std::uint8_t>{0xF5, 0x84, 0x47, 0x00, 0x01, 0x00, 0x80, 0xFF}));
    EXPECT_EQ(test::host_file({sector}, {true, true}),
              (std::vector<std::uint8_t>{0x47, 0x84, 0xF5, 0xFF, 0x80, 0x00, 0x01, 0x00}));
    EXPECT_EQ(test::decimal_word(1234, 5), 1234u << 3 | 5);
    EXPECT_EQ(test::bcd_word(123456), 0x123456u);
}
