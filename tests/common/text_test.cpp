#include "common/text.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "tests/support/image_builder.h"

using namespace kavolt;

namespace {

std::int32_t codes(int a, int b, int c, int d) {
    return a << 18 | b << 12 | c << 6 | d;
}

std::string unpacked(std::int32_t word, bool spaced = false) {
    Byte b[3];
    put_word(word, b);
    WordChars chars;
    if (spaced) {
        unpack_chars_spaced(chars, b);
    } else {
        unpack_chars(chars, b);
    }
    return chars;
}

std::int32_t packed(std::string_view text) {
    Byte b[3];
    return pack_chars(text, b);
}

std::string round_trip_name(std::string_view host) {
    Byte words[9];
    name_to_words(host, words);
    FullName name;
    name_from_words(name, words);
    return name;
}

} // namespace

TEST(SixBit, UnpackStopsAtBlankOrKeepsIt) {
    EXPECT_EQ(unpacked(codes(1, 2, 0, 3)), "AB");
    EXPECT_EQ(unpacked(codes(1, 2, 0, 3), true), "AB C");
    EXPECT_EQ(unpacked(0, true), "    ");
    EXPECT_EQ(unpacked(0), "");
    EXPECT_EQ(unpacked(codes(27, 31, 32, 33)), "[_@!");
    EXPECT_EQ(unpacked(codes(48, 57, 63, 26)), "09?Z");
}

TEST(SixBit, PackFoldsCaseAndControlCharacters) {
    EXPECT_EQ(packed("ab"), packed("AB"));
    EXPECT_EQ(packed("AB"), codes(1, 2, 0, 0));
    EXPECT_EQ(packed("a.b"), codes(1, 46, 2, 0));
    EXPECT_EQ(packed("{x}"), codes(27, 24, 29, 0));
    EXPECT_EQ(packed("\t"), codes(41, 0, 0, 0));
    EXPECT_EQ(packed("`~\x7f@"), codes(32, 30, 31, 32));
    EXPECT_EQ(packed("ABCDEFG"), codes(1, 2, 3, 4));
    EXPECT_EQ(packed(std::string_view("A\0B", 3)), codes(1, 0, 0, 0));
    EXPECT_EQ(packed("\xC1"), codes(1, 0, 0, 0)); // bit 7 is dropped
}

TEST(SixBit, EveryCodeSurvivesUnpackAndPack) {
    for (int code = 1; code < 64; ++code) {
        std::string text = unpacked(codes(code, code, code, code));
        ASSERT_EQ(text.size(), 4u) << code;
        EXPECT_EQ(packed(text), codes(code, code, code, code)) << code;
    }
}

TEST(Text, GetTextClearsBit7AndEndsAtZero) {
    Byte field[75];
    std::memset(field, 0xC1, sizeof field);
    char text[75];
    get_text(text, field);
    EXPECT_EQ(std::strlen(text), 74u);
    EXPECT_EQ(text[0], 'A');

    Byte short_field[5] = {0xC8, 0xE9, 0x80, 0xC1, 0xC1};
    char out[5];
    get_text(out, short_field);
    EXPECT_STREQ(out, "Hi");
    EXPECT_EQ(out[3], '\0');
    EXPECT_EQ(out[4], '\0');
}

TEST(Text, PutTextSetsBit7AndZeroFills) {
    Byte field[5];
    std::memset(field, 0x55, sizeof field);
    put_text("Hi", field);
    const Byte expected[] = {0xC8, 0xE9, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(field, expected, 5), 0);

    put_text("Hello", field);
    const Byte cut[] = {0xC8, 0xE5, 0xEC, 0xEC, 0x00};
    EXPECT_EQ(std::memcmp(field, cut, 5), 0);
}

TEST(Names, HostPathsBecomeFullNames) {
    EXPECT_EQ(round_trip_name("/tmp/readme"), "README");
    EXPECT_EQ(round_trip_name("verylongname.extension"), "VERYLONG.EXTE");
    EXPECT_EQ(round_trip_name("a.b.c"), "A.B.C");
    EXPECT_EQ(round_trip_name(""), "X");
    EXPECT_EQ(round_trip_name("."), "X");
    EXPECT_EQ(round_trip_name(".login"), "X.LOGI");
    EXPECT_EQ(round_trip_name("dir/prog.text"), "PROG.TEXT");
    EXPECT_EQ(round_trip_name("dir/"), "X");
    EXPECT_EQ(round_trip_name("back\\slash"), "BACK\\SLA");
    EXPECT_EQ(round_trip_name("abcd"), "ABCD");
    EXPECT_EQ(round_trip_name("abcde.f"), "ABCDE.F");
}

TEST(Names, LongHostPathsAreNotCut) {
    std::string path(5000, 'd');
    path += "/name.ext";
    EXPECT_EQ(round_trip_name(path), "NAME.EXT");
}

TEST(Names, BlankInsideAWordDropsTheRestOfThatWordOnly) {
    Byte words[9];
    put_word(codes(1, 2, 0, 3), words);
    put_word(codes(4, 5, 6, 0), words + 3);
    put_word(codes(24, 0, 0, 0), words + 6);
    FullName name;
    name_from_words(name, words);
    EXPECT_STREQ(name, "ABDEF.X");
}

TEST(Names, AllCharactersGiveThirteenAtMost) {
    Byte words[9];
    for (int i = 0; i < 3; ++i)
        put_word(codes(63, 63, 63, 63), words + 3 * i);
    FullName name;
    name_from_words(name, words);
    EXPECT_STREQ(name, "????????.????");
}

TEST(Dates, BcdDatesAndCenturies) {
    const Byte christmas[] = {0x24, 0x12, 0x99};
    EXPECT_EQ(get_date(christmas, nullptr), test::local_time(1999, 12, 24));
    const Byte y2k[] = {0x01, 0x01, 0x00};
    EXPECT_EQ(get_date(y2k, nullptr), test::local_time(2000, 1, 1));
    const Byte y69[] = {0x31, 0x12, 0x69};
    EXPECT_EQ(get_date(y69, nullptr), test::local_time(2069, 12, 31));
    const Byte y70[] = {0x01, 0x01, 0x70};
    EXPECT_EQ(get_date(y70, nullptr), test::local_time(1970, 1, 1));
}

TEST(Dates, InvalidFieldsMeanNoDate) {
    const Byte zero[] = {0, 0, 0};
    EXPECT_EQ(get_date(zero, nullptr), 0);
    const Byte day32[] = {0x32, 0x01, 0x05};
    EXPECT_EQ(get_date(day32, nullptr), 0);
    const Byte month13[] = {0x01, 0x13, 0x05};
    EXPECT_EQ(get_date(month13, nullptr), 0);
    EXPECT_EQ(get_date(nullptr, nullptr), 0);
    // 31 February is carried into March.
    const Byte feb31[] = {0x31, 0x02, 0x05};
    EXPECT_EQ(get_date(feb31, nullptr), test::local_time(2005, 3, 3));
}

TEST(Dates, TimeWords) {
    const Byte date[] = {0x01, 0x01, 0x05};
    const Byte time[] = {0x13, 0x45, 0x07};
    EXPECT_EQ(get_date(date, time), test::local_time(2005, 1, 1, 13, 45, 7));
    const Byte hour24[] = {0x24, 0x00, 0x00};
    EXPECT_EQ(get_date(date, hour24), test::local_time(2005, 1, 1));
    const Byte minute60[] = {0x10, 0x60, 0x00};
    EXPECT_EQ(get_date(date, minute60), test::local_time(2005, 1, 1));
    const Byte second61[] = {0x10, 0x00, 0x61};
    EXPECT_EQ(get_date(date, second61), test::local_time(2005, 1, 1, 10, 0, 61));
    // A bad date with a good time keeps the time on 1 January 1900.
    const Byte zero[] = {0, 0, 0};
    EXPECT_EQ(get_date(zero, time), test::local_time(1900, 1, 1, 13, 45, 7));
}

TEST(Dates, PutDate) {
    Byte date[3] = {1, 2, 3}, time[3] = {4, 5, 6};
    put_date(0, date, time);
    EXPECT_EQ(get_uword(date), 0);
    EXPECT_EQ(get_uword(time), 0);

    put_date(test::local_time(2005, 1, 1, 13, 45, 7), date, time);
    EXPECT_EQ(get_uword(date), 0x010105);
    EXPECT_EQ(get_uword(time), 0x134507);

    put_date(test::local_time(1999, 12, 24), date, nullptr);
    EXPECT_EQ(get_uword(date), 0x241299);

    put_date(-5, date, nullptr);
    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    EXPECT_EQ(date[0], (today.tm_mday / 10) * 16 + today.tm_mday % 10);
}

TEST(Dates, YearsAfter2099KeepTheYearWithinTheCentury) {
    Byte date[3];
    put_date(test::local_time(2105, 7, 4), date, nullptr);
    EXPECT_EQ(get_uword(date), 0x040705);
    put_date(test::local_time(2100, 1, 1), date, nullptr);
    EXPECT_EQ(get_uword(date), 0x010100);
}

TEST(Dates, RoundTrip) {
    Byte date[3], time[3];
    std::time_t t = test::local_time(2031, 6, 15, 8, 30, 59);
    put_date(t, date, time);
    EXPECT_EQ(get_date(date, time), t);
}
