#include "common/text.h"

#include <algorithm>
#include <cstring>

namespace kavolt {

namespace {

char char_of_code(int code) {
    if (code == 32) return '@';
    if (code < 32) return static_cast<char>(code + 0x40);
    return static_cast<char>(code);
}

int code_of_char(unsigned char c) {
    c &= 0x7F;
    if (c > 0x5F) c -= 0x20;
    if (c <= 0x1F) c += 0x20;
    if (c == ' ') return 0;
    if (c == '@') return 32;
    if (c >= 0x41) return c - 0x40;
    return c;
}

int code_at(std::int32_t word, int position) {
    return (word >> (18 - 6 * position)) & 077;
}

std::string_view up_to_nul(std::string_view text) {
    auto end = text.find('\0');
    return end == std::string_view::npos ? text : text.substr(0, end);
}

int bcd_value(Byte b) {
    return (b >> 4) * 10 + (b & 0xF);
}

Byte bcd_byte(int value) {
    return static_cast<Byte>((value / 10) * 16 + value % 10);
}

} // namespace

void unpack_chars(WordChars& dest, const Byte* word) {
    std::int32_t value = get_uword(word);
    int length = 0;
    for (int position = 0; position < 4; ++position) {
        int code = code_at(value, position);
        if (code == 0) break;
        dest[length++] = char_of_code(code);
    }
    dest[length] = '\0';
}

void unpack_chars_spaced(WordChars& dest, const Byte* word) {
    std::int32_t value = get_uword(word);
    for (int position = 0; position < 4; ++position) {
        int code = code_at(value, position);
        dest[position] = code == 0 ? ' ' : char_of_code(code);
    }
    dest[4] = '\0';
}

std::int32_t pack_chars(std::string_view text, Byte* word) {
    text = up_to_nul(text);
    std::int32_t value = 0;
    for (std::size_t position = 0; position < 4; ++position) {
        unsigned char c = position < text.size() ? static_cast<unsigned char>(text[position]) : 0;
        value = value * 64 + code_of_char(c);
    }
    return put_word(value, word);
}

void get_text(std::span<char> dest, std::span<const Byte> field) {
    std::size_t n = field.size();
    if (n == 0 || dest.size() < n) return;
    std::size_t i = 0;
    for (; i < n; ++i) {
        char c = static_cast<char>(field[i] & 0x7F);
        if (c == '\0') break;
        dest[i] = c;
    }
    for (; i < n; ++i)
        dest[i] = '\0';
    dest[n - 1] = '\0';
}

void put_text(std::string_view text, std::span<Byte> field) {
    std::size_t n = field.size();
    if (n == 0) return;
    text = up_to_nul(text);
    std::size_t i = 0;
    for (; i < n && i < text.size(); ++i)
        field[i] = static_cast<Byte>(text[i] | 0x80);
    for (; i < n; ++i)
        field[i] = 0;
    field[n - 1] = 0;
}

void name_from_words(FullName& dest, const Byte* words) {
    WordChars first, second, extension;
    unpack_chars(first, words);
    unpack_chars(second, words + WORD_BYTES);
    unpack_chars(extension, words + 2 * WORD_BYTES);
    std::size_t length = 0;
    for (const char* part : {static_cast<const char*>(first), static_cast<const char*>(second)}) {
        for (const char* p = part; *p; ++p)
            dest[length++] = *p;
    }
    if (extension[0] != '\0') {
        dest[length++] = '.';
        for (const char* p = extension; *p; ++p)
            dest[length++] = *p;
    }
    dest[length] = '\0';
}

void name_to_words(std::string_view host_name, Byte* words) {
    host_name = up_to_nul(host_name);
    auto slash = host_name.rfind('/');
    std::string_view part = slash == std::string_view::npos ? host_name : host_name.substr(slash + 1);
    auto dot = part.find('.');
    std::string_view name = part.substr(0, dot);
    std::string_view extension = dot == std::string_view::npos ? std::string_view{} : part.substr(dot + 1);
    name = name.substr(0, 8);
    extension = extension.substr(0, 4);
    if (name.empty()) name = "X";
    pack_chars(name.substr(0, 4), words);
    pack_chars(name.size() > 4 ? name.substr(4) : std::string_view{}, words + WORD_BYTES);
    pack_chars(extension, words + 2 * WORD_BYTES);
}

std::time_t get_date(const Byte* date, const Byte* time, DateCache* cache) {
    int hours = 0, minutes = 0, seconds = 0;
    if (time != nullptr) {
        hours = bcd_value(time[0]);
        minutes = bcd_value(time[1]);
        seconds = bcd_value(time[2]);
        if (hours > 23 || minutes > 59 || seconds > 61) hours = minutes = seconds = 0;
    }
    int day = 1, month = 1, year = 1900;
    if (date != nullptr) {
        day = bcd_value(date[0]);
        month = bcd_value(date[1]);
        year = bcd_value(date[2]);
        year += year <= 69 ? 2000 : 1900;
        if (day < 1 || day > 31 || month < 1 || month > 12) {
            day = 1;
            month = 1;
            year = 1900;
        }
    }
    if (day == 1 && month == 1 && year == 1900 && hours == 0 && minutes == 0 && seconds == 0) return 0;
    const int fields[6] = {year, month, day, hours, minutes, seconds};
    if (cache != nullptr && cache->last && std::equal(fields, fields + 6, cache->last->fields))
        return cache->last->t;
    std::tm calendar{};
    calendar.tm_sec = seconds;
    calendar.tm_min = minutes;
    calendar.tm_hour = hours;
    calendar.tm_mday = day;
    calendar.tm_mon = month - 1;
    calendar.tm_year = year - 1900;
    calendar.tm_isdst = -1;
    DateCache::Converted converted{{year, month, day, hours, minutes, seconds}, std::mktime(&calendar)};
    if (cache != nullptr) cache->last = converted;
    return converted.t;
}

void put_date(std::time_t t, Byte* date, Byte* time) {
    if (t < 0) t = std::time(nullptr);
    if (t < 0) t = 0;
    std::tm calendar{};
    if (t == 0 || localtime_r(&t, &calendar) == nullptr) {
        if (date != nullptr) put_word(0, date);
        if (time != nullptr) put_word(0, time);
        return;
    }
    if (date != nullptr) {
        date[0] = bcd_byte(calendar.tm_mday);
        date[1] = bcd_byte(calendar.tm_mon + 1);
        int year = (calendar.tm_year + 1900) % 100;
        date[2] = bcd_byte(year < 0 ? year + 100 : year);
    }
    if (time != nullptr) {
        time[0] = bcd_byte(calendar.tm_hour);
        time[1] = bcd_byte(calendar.tm_min);
        time[2] = bcd_byte(calendar.tm_sec);
    }
}

} // namespace kavolt
