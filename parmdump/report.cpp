#include "parmdump/report.h"

#include <cstdio>

#include "parmdump/halvor.h"

namespace parmdump {

namespace {

// "H" when bit 6 of the word is set, else "L".
char high_low(const Sector& sector, int word) {
    return bit_at(sector, word, 6) ? 'H' : 'L';
}

void print_first_header_line(const Loaded& loaded, const Values& v) {
    const Sector& s = loaded.sector;
    std::printf("\n%s", name_at(s, NAME_WORD).c_str());
    if (v.scale < 1) {
        std::printf(" SCALE=1/%g", 1 / v.scale);
    } else {
        std::printf(" SCALE=%g", v.scale);
    }
    // Non-negative: a length in words; negative: minus a number of sectors.
    std::int64_t size = signed_at(s, SIZE_WORD);
    if (size < 0) size = -size * SECTOR_WORDS;
    std::printf(" SI=%d", static_cast<int>(size / 1024));
    std::printf(" '%s", attribute_letters(unsigned_at(s, ATTRIBUTE_WORD)).c_str());
    std::printf(" %u!%u", bits_at(s, ATTRIBUTE_WORD, 0, 7), bits_at(s, ATTRIBUTE_WORD, 8, 14));
    std::printf(" %s", format_date(date_at(s, DATE_WORD, -1), "%d.%b.%y", 10).c_str());
    std::printf(" $%s", chars_at(s, TAG_WORD).c_str());
    if (loaded.expanded) std::fputs(" EXPANDED", stdout);
    if (loaded.swapped) std::fputs(" SWAPPED", stdout);
    std::putchar('\n');
}

void print_second_header_line(const Sector& s, Kind kind, const Layout& layout) {
    if (signed_at(s, 56) > 0) std::printf("%d/%d ", signed_at(s, 56), signed_at(s, layout.ne));
    std::printf("%d/%d", signed_at(s, 42), signed_at(s, 70));
    std::printf(" %u%c", bits_at(s, 81, 0, 5), high_low(s, 81));

    constexpr int FLAGS = 86;
    auto flag = [&s](int bit) { return bit_at(s, FLAGS, bit); };
    if (flag(11)) {
        std::fputs(" SIM", stdout);
    } else {
        std::fputs(flag(5) || signed_at(s, 79) != 0 ? " QN" : " QF", stdout);
    }
    std::int32_t phase_mode = signed_at(s, layout.phase_mode);
    std::fputs(phase_mode < 0 ? " QP" : phase_mode == 0 ? " CP" : " AP", stdout);
    std::fputs(flag(4) ? " R" : " F", stdout);
    if (kind == Kind::fendar) std::printf(" PR=%s", processing_code(bits_at(s, 87, 0, 11)).c_str());
    if (flag(7)) {
        std::printf(" AU %s", name_at(s, layout.au_name).c_str());
    } else {
        std::fputs(flag(1) ? " GD" : !flag(0) ? " ZE" : " ZG", stdout);
    }
    if (flag(2)) std::fputs(" BC", stdout);
    double lb = float_at(s, 63);
    if (flag(3) || lb != 0) std::printf(" LB=%g", lb);
    if (flag(0) && flag(10)) std::fputs(" PK", stdout);
    if (flag(9)) std::fputs(" PRELKA", stdout);
    if (flag(6)) std::fputs(" FENDAR", stdout);
    if (flag(8)) std::fputs(" DOUBLE", stdout);
    if (flag(12)) std::fputs(" 2D", stdout);
    if (flag(13)) std::fputs(" SCAL", stdout);
    std::putchar('\n');
}

void print_header(const Loaded& loaded, Kind kind, const Layout& layout, const Values& v) {
    print_first_header_line(loaded, v);
    print_second_header_line(loaded.sector, kind, layout);
    std::puts(comment_of(loaded.sector).c_str());
    std::puts(format_date(date_at(loaded.sector, layout.date, layout.time), "%c", 256).c_str());
}

double sy_of(const Sector& s) {
    return bcd_at(s, 90) * 0.1 + bcd_at(s, 89) * 1e-7;
}

void print_fendar_acquisition(const Sector& s, const Values& v) {
    std::puts("\n    ACQUISITION PARAMETERS");
    std::printf("SF=     %12.7f\n", v.sf);
    std::printf("SF0=    %12.7f    SY=     %12.7f\n", v.sf0, sy_of(s));
    std::printf("O1=     %12.2f    O2=     %12.2f\n", v.o1, v.o2);
    std::printf("TD=     %12d    SI=     %12d\n", v.td, v.si);
    std::printf("SW=     %12.2f    DW=     %12.2f\n", v.sw, v.dw);
    std::printf("FW=     %12d    DE=     %12.1f\n", signed_at(s, 45), decimal_at(s, 69) * 1000000);
    std::printf("HZ/PT=  %12.3f    DR=     %12d\n", 2 * v.sw / v.si, signed_at(s, 71));
    std::printf("NC=     %12d    RG=     %12d\n", signed_at(s, 41), gain_code(unsigned_at(s, 88)));
    std::printf("PW=     %12.1f    TE=     %12d\n", decimal_at(s, 68) * 1000000, signed_at(s, 85));
    std::printf("RD=     %12.7f    NE=     %12d\n", decimal_at(s, 67), signed_at(s, 222));
    std::printf("AQ=     %12.7f    RO=     %12u\n", v.dw * v.td * 1e-6, bits_at(s, 140, 0, 5));
    std::printf("NS=     %12d    DS=     %12d\n", signed_at(s, 70), signed_at(s, 52));
}

void print_torgil_acquisition(const Sector& s, const Values& v) {
    std::puts("\n    ACQUISITION PARAMETERS");
    std::printf("SF=     %12.7f    SY=     %12.7f\n", v.sf, sy_of(s));
    std::printf("O1=     %12.2f    O2=     %12.2f\n", v.o1, v.o2);
    std::printf("TD=     %12d    SI=     %12d\n", v.td, v.si);
    std::printf("SW=     %12.2f    DW=     %12.2f\n", v.sw, v.dw);
    std::printf("FW=     %12d    TE=     %12d\n", signed_at(s, 45), signed_at(s, 85));
    std::printf("HZ/PT=  %12.3f    DR=     %12d\n", 2 * v.sw / v.si, signed_at(s, 71));
    std::printf("NC=     %12d    RG=     %12d\n", signed_at(s, 41), signed_at(s, 88));
    std::printf("RD=     %12.7f    NE=     %12d\n", decimal_at(s, 67), signed_at(s, 246));
    std::printf("AQ=     %12.7f    RO=     %12u\n", v.dw * v.td * 1e-6, bits_at(s, 163, 0, 5));
    std::printf("NS=     %12d    DS=     %12d\n", signed_at(s, 70), signed_at(s, 52));
}

// MI, the plot's intensity: from CY when it is set, else from the scale factor; MAXY / 256
// when that comes to 0.
double mi_of(const Sector& s, const Layout& layout, const Values& v) {
    std::int32_t a = signed_at(s, layout.mi_numerator);
    double mi;
    if (v.cy == 0) {
        mi = v.scale * a * 5.9604644775390625e-06;
    } else {
        std::int32_t d = signed_at(s, layout.mi_divisor);
        mi = v.cy * a / (d == 0 ? 1 : d);
    }
    return mi == 0 ? v.maxy * 0.00390625 : mi;
}

char sign_letter(std::int32_t value) {
    return value < 0 ? 'N' : value == 0 ? ' ' : 'P';
}

void print_plotting(const Sector& s, const Layout& layout, const Values& v) {
    double hz_cm = float_at(s, layout.hz_cm);
    std::puts("\n    PLOTTING PARAMETERS\n");
    std::printf("CX=     %12.2f    HZ/CM=  %12.2f\n", float_at(s, layout.cx), hz_cm);
    std::printf("CY=     %12.2f    PPM/CM= %12.3f\n", v.cy, hz_cm / v.reference);
    std::printf("MAXY=   %12.2f\n", v.maxy);
    std::printf("F1=     %12.2f    SR=     %12.2f\n", float_at(s, layout.f1), v.sr);
    std::printf("F2=     %12.2f\n", float_at(s, layout.f2));
    std::putchar('\n');
    std::printf("MI=     %12.2f%c   ISEN=   %12d\n", mi_of(s, layout, v),
                sign_letter(signed_at(s, layout.mi_sign)), signed_at(s, layout.isen));
    std::printf("PC=     %12.2f    IS=     %12d\n", float_at(s, layout.pc), signed_at(s, layout.is));
}

// The line of S values Sk, k = first ... first + 4, from words word + k.
void print_s_values(const Sector& s, int word, int first) {
    for (int k = first; k < first + 5; ++k) {
        std::printf("%sS%d= %2u%c", k == first ? "" : "    ", k, bits_at(s, word + k, 0, 5),
                    high_low(s, word + k));
    }
    std::putchar('\n');
}

void print_fendar_automation(const Sector& s, const Layout& layout) {
    std::puts("\n    AUTOMATION PARAMETERS");
    for (int k = 0; k < 10; ++k) {
        std::printf("P%d=     %12.1f    D%d=     %12.7f\n", k, decimal_at(s, 129 + k) * 1000000, k,
                    decimal_at(s, 109 + k));
    }
    std::printf("V9=     %12d    SP=     %12.7f\n", signed_at(s, layout.v9), decimal_at(s, 74));
    print_s_values(s, 119, 0);
    print_s_values(s, 119, 5);
    std::printf("IN=     %12.7f    VD=     %12.7f\n", decimal_at(s, 94), decimal_at(s, 51));
}

void print_torgil_automation(const Sector& s, const Layout& layout) {
    std::puts("\n    AUTOMATION PARAMETERS");
    for (int k = 1; k <= 5; ++k)
        std::printf("FD%d=    %12.7f\n", k, decimal_at(s, 102 + k));
    std::printf("V9=     %12d\n", signed_at(s, layout.v9));
    print_s_values(s, 107, 1);
    std::printf("IN=     %12.7f    IN4=    %12.7f\n", decimal_at(s, 94), signed_at(s, 93) * 1e-8);
}

void print_processing(const Sector& s, const Layout& layout, const Values& v) {
    std::puts("\n    PROCESSING PARAMETERS\n");
    std::printf("AI=     %12d    WDW=    %12c\n", signed_at(s, layout.ai), signed_at(s, layout.wdw) & 0x7F);
    std::putchar('\n');
    std::printf("LB=     %12.3f    TM1=    %12d\n", float_at(s, layout.lb), signed_at(s, layout.tm1));
    std::printf("GB=     %12.3f    TM2=    %12d\n", float_at(s, layout.gb), signed_at(s, layout.tm2));
    std::putchar('\n');
    std::printf("DC=     %12.3f    SM=     %12d\n", float_at(s, layout.dc), signed_at(s, layout.sm));
    // Phases are fractions of a full turn in 24 bits: 360 / 2^24 and 180 / 2^24 degrees.
    std::printf("PHZ0=   %12.2f\n", signed_at(s, layout.phz0) * 2.1457672119140625e-05);
    std::printf("PHZ1=   %12.2f\n",
                static_cast<double>(v.si) * signed_at(s, layout.phz1) * 1.0728836059570312e-05);
}

} // namespace

std::string attribute_letters(std::uint32_t attributes) {
    auto bit = [attributes](int n) { return ((attributes >> n) & 1) != 0; };
    std::string letters;
    letters += bit(19) == bit(20) ? 'A' : bit(20) ? 'R' : 'I';
    if (bit(15)) letters += 'X';
    if (bit(17)) letters += 'P';
    if (bit(16)) letters += 'C';
    if (bit(18)) letters += 'T';
    return letters;
}

std::string processing_code(std::uint32_t p) {
    if (p == 0) return "0";
    static constexpr const char* first[] = {"L", "1", "H", ""};
    static constexpr const char* second[] = {"2", "3", "", "4"};
    std::string code = first[(p >> 1) & 3];
    code += (p & 07770) == 0 ? "1" : second[(p >> 5) & 3];
    return code;
}

int gain_code(std::uint32_t g) {
    static constexpr int factors[] = {2, 4, 8, 2, 4, 8, 10, 10};
    int gain = 1;
    for (int bit = 0; bit < 8; ++bit) {
        if ((g >> bit) & 1) gain *= factors[bit];
    }
    return gain;
}

std::string format_date(std::time_t t, const char* format, std::size_t size) {
    std::tm calendar{};
    std::string text(size, '\0');
    if (localtime_r(&t, &calendar) == nullptr) return "";
    text.resize(std::strftime(text.data(), size, format, &calendar));
    return text;
}

void print_report(Kind kind, Loaded& loaded) {
    const Sector& s = loaded.sector;
    const Layout& layout = layout_of(kind);
    Values v = values_of(s, kind);
    print_header(loaded, kind, layout, v);
    if (kind == Kind::fendar) {
        print_fendar_acquisition(s, v);
    } else {
        print_torgil_acquisition(s, v);
    }
    print_plotting(s, layout, v);
    if (kind == Kind::fendar) {
        print_fendar_automation(s, layout);
    } else {
        print_torgil_automation(s, layout);
    }
    print_processing(s, layout, v);
    print_halvor_block(s, kind, v);
    if (kind == Kind::torgil) print_second_sector_block(loaded);
}

} // namespace parmdump
