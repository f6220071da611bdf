#include "parmdump/report.h"

#include "parmdump/format.h"
#include "parmdump/halvor.h"

namespace parmdump {

namespace {

// "H" when bit 6 of the word is set, else "L".
char high_low(const Sector& sector, int word) {
    return bit_at(sector, word, 6) ? 'H' : 'L';
}

void write_first_header_line(ReportWriter& out, const Loaded& loaded, const Values& v) {
    const Sector& s = loaded.sector;
    out.text("\n" + name_at(s, NAME_WORD) + " ");
    out.parameter("SCALE", "SCALE=", v.scale < 1 ? format("1/%g", 1 / v.scale) : format("%g", v.scale));
    // Non-negative: a length in words; negative: minus a number of sectors.
    std::int64_t size = signed_at(s, SIZE_WORD);
    if (size < 0) size = -size * SECTOR_WORDS;
    out.text(" ");
    out.parameter("SI", "SI=", format("%d", static_cast<int>(size / 1024)));
    out.text(format(" '%s", attribute_letters(unsigned_at(s, ATTRIBUTE_WORD)).c_str()));
    out.text(format(" %u!%u", bits_at(s, ATTRIBUTE_WORD, 0, 7), bits_at(s, ATTRIBUTE_WORD, 8, 14)));
    out.text(" " + format_date(date_at(s, DATE_WORD, -1), "%d.%b.%y", 10));
    out.text(" $" + chars_at(s, TAG_WORD));
    if (loaded.expanded) out.text(" EXPANDED");
    if (loaded.swapped) out.text(" SWAPPED");
    out.text("\n");
}

void write_second_header_line(ReportWriter& out, const Sector& s, Kind kind, const Layout& layout) {
    if (signed_at(s, 56) > 0) out.text(format("%d/%d ", signed_at(s, 56), signed_at(s, layout.ne)));
    out.text(format("%d/%d", signed_at(s, 42), signed_at(s, 70)));
    out.text(format(" %u%c", bits_at(s, 81, 0, 5), high_low(s, 81)));

    constexpr int FLAGS = 86;
    auto flag = [&s](int bit) { return bit_at(s, FLAGS, bit); };
    if (flag(11)) {
        out.text(" SIM");
    } else {
        out.text(flag(5) || signed_at(s, 79) != 0 ? " QN" : " QF");
    }
    std::int32_t phase_mode = signed_at(s, layout.phase_mode);
    out.text(phase_mode < 0 ? " QP" : phase_mode == 0 ? " CP" : " AP");
    out.text(flag(4) ? " R" : " F");
    if (kind == Kind::fendar) {
        out.text(" ");
        out.parameter("PR", "PR=", processing_code(bits_at(s, 87, 0, 11)));
    }
    if (flag(7)) {
        out.text(" AU " + name_at(s, layout.au_name));
    } else {
        out.text(flag(1) ? " GD" : !flag(0) ? " ZE" : " ZG");
    }
    if (flag(2)) out.text(" BC");
    double lb = float_at(s, 63);
    if (flag(3) || lb != 0) {
        out.text(" ");
        out.parameter("LB", "LB=", format("%g", lb));
    }
    if (flag(0) && flag(10)) out.text(" PK");
    if (flag(9)) out.text(" PRELKA");
    if (flag(6)) out.text(" FENDAR");
    if (flag(8)) out.text(" DOUBLE");
    if (flag(12)) out.text(" 2D");
    if (flag(13)) out.text(" SCAL");
    out.text("\n");
}

void write_header(ReportWriter& out, const Loaded& loaded, Kind kind, const Layout& layout, const Values& v) {
    write_first_header_line(out, loaded, v);
    write_second_header_line(out, loaded.sector, kind, layout);
    out.text(comment_of(loaded.sector) + "\n");
    out.text(format_date(date_at(loaded.sector, layout.date, layout.time), "%c", 256) + "\n");
}

double sy_of(const Sector& s) {
    return bcd_at(s, 90) * 0.1 + bcd_at(s, 89) * 1e-7;
}

void write_fendar_acquisition(ReportWriter& out, const Sector& s, const Values& v) {
    out.heading("ACQUISITION PARAMETERS");
    out.line("SF", format("%12.7f", v.sf));
    out.line("SF0", format("%12.7f", v.sf0), "SY", format("%12.7f", sy_of(s)));
    out.line("O1", format("%12.2f", v.o1), "O2", format("%12.2f", v.o2));
    out.line("TD", format("%12d", v.td), "SI", format("%12d", v.si));
    out.line("SW", format("%12.2f", v.sw), "DW", format("%12.2f", v.dw));
    out.line("FW", format("%12d", signed_at(s, 45)), "DE", format("%12.1f", decimal_at(s, 69) * 1000000));
    out.line("HZ/PT", format("%12.3f", 2 * v.sw / v.si), "DR", format("%12d", signed_at(s, 71)));
    out.line("NC", format("%12d", signed_at(s, 41)), "RG", format("%12d", gain_code(unsigned_at(s, 88))));
    out.line("PW", format("%12.1f", decimal_at(s, 68) * 1000000), "TE", format("%12d", signed_at(s, 85)));
    out.line("RD", format("%12.7f", decimal_at(s, 67)), "NE", format("%12d", signed_at(s, 222)));
    out.line("AQ", format("%12.7f", v.dw * v.td * 1e-6), "RO", format("%12u", bits_at(s, 140, 0, 5)));
    out.line("NS", format("%12d", signed_at(s, 70)), "DS", format("%12d", signed_at(s, 52)));
}

void write_torgil_acquisition(ReportWriter& out, const Sector& s, const Values& v) {
    out.heading("ACQUISITION PARAMETERS");
    out.line("SF", format("%12.7f", v.sf), "SY", format("%12.7f", sy_of(s)));
    out.line("O1", format("%12.2f", v.o1), "O2", format("%12.2f", v.o2));
    out.line("TD", format("%12d", v.td), "SI", format("%12d", v.si));
    out.line("SW", format("%12.2f", v.sw), "DW", format("%12.2f", v.dw));
    out.line("FW", format("%12d", signed_at(s, 45)), "TE", format("%12d", signed_at(s, 85)));
    out.line("HZ/PT", format("%12.3f", 2 * v.sw / v.si), "DR", format("%12d", signed_at(s, 71)));
    out.line("NC", format("%12d", signed_at(s, 41)), "RG", format("%12d", signed_at(s, 88)));
    out.line("RD", format("%12.7f", decimal_at(s, 67)), "NE", format("%12d", signed_at(s, 246)));
    out.line("AQ", format("%12.7f", v.dw * v.td * 1e-6), "RO", format("%12u", bits_at(s, 163, 0, 5)));
    out.line("NS", format("%12d", signed_at(s, 70)), "DS", format("%12d", signed_at(s, 52)));
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

void write_plotting(ReportWriter& out, const Sector& s, const Layout& layout, const Values& v) {
    double hz_cm = float_at(s, layout.hz_cm);
    out.heading("PLOTTING PARAMETERS");
    out.text("\n");
    out.line("CX", format("%12.2f", float_at(s, layout.cx)), "HZ/CM", format("%12.2f", hz_cm));
    out.line("CY", format("%12.2f", v.cy), "PPM/CM", format("%12.3f", hz_cm / v.reference));
    out.line("MAXY", format("%12.2f", v.maxy));
    out.line("F1", format("%12.2f", float_at(s, layout.f1)), "SR", format("%12.2f", v.sr));
    out.line("F2", format("%12.2f", float_at(s, layout.f2)));
    out.text("\n");
    // The sign letter widens MI's column by one.
    out.field("MI", format("%12.2f%c", mi_of(s, layout, v), sign_letter(signed_at(s, layout.mi_sign))));
    out.text("   ");
    out.field("ISEN", format("%12d", signed_at(s, layout.isen)));
    out.text("\n");
    out.line("PC", format("%12.2f", float_at(s, layout.pc)), "IS", format("%12d", signed_at(s, layout.is)));
}

// The line of S values Sk, k = first ... first + 4, from words word + k.
void write_s_values(ReportWriter& out, const Sector& s, int word, int first) {
    for (int k = first; k < first + 5; ++k) {
        std::string name = "S" + std::to_string(k);
        if (k != first) out.text("    ");
        out.parameter(name, name + "= ", format("%2u%c", bits_at(s, word + k, 0, 5), high_low(s, word + k)));
    }
    out.text("\n");
}

void write_fendar_automation(ReportWriter& out, const Sector& s, const Layout& layout) {
    out.heading("AUTOMATION PARAMETERS");
    for (int k = 0; k < 10; ++k) {
        out.line("P" + std::to_string(k), format("%12.1f", decimal_at(s, 129 + k) * 1000000),
                 "D" + std::to_string(k), format("%12.7f", decimal_at(s, 109 + k)));
    }
    out.line("V9", format("%12d", signed_at(s, layout.v9)), "SP", format("%12.7f", decimal_at(s, 74)));
    write_s_values(out, s, 119, 0);
    write_s_values(out, s, 119, 5);
    out.line("IN", format("%12.7f", decimal_at(s, 94)), "VD", format("%12.7f", decimal_at(s, 51)));
}

void write_torgil_automation(ReportWriter& out, const Sector& s, const Layout& layout) {
    out.heading("AUTOMATION PARAMETERS");
    for (int k = 1; k <= 5; ++k)
        out.line("FD" + std::to_string(k), format("%12.7f", decimal_at(s, 102 + k)));
    out.line("V9", format("%12d", signed_at(s, layout.v9)));
    write_s_values(out, s, 107, 1);
    out.line("IN", format("%12.7f", decimal_at(s, 94)), "IN4", format("%12.7f", signed_at(s, 93) * 1e-8));
}

void write_processing(ReportWriter& out, const Sector& s, const Layout& layout, const Values& v) {
    out.heading("PROCESSING PARAMETERS");
    out.text("\n");
    out.line("AI", format("%12d", signed_at(s, layout.ai)), "WDW",
             format("%12c", signed_at(s, layout.wdw) & 0x7F));
    out.text("\n");
    out.line("LB", format("%12.3f", float_at(s, layout.lb)), "TM1", format("%12d", signed_at(s, layout.tm1)));
    out.line("GB", format("%12.3f", float_at(s, layout.gb)), "TM2", format("%12d", signed_at(s, layout.tm2)));
    out.text("\n");
    out.line("DC", format("%12.3f", float_at(s, layout.dc)), "SM", format("%12d", signed_at(s, layout.sm)));
    // Phases are fractions of a full turn in 24 bits: 360 / 2^24 and 180 / 2^24 degrees.
    out.line("PHZ0", format("%12.2f", signed_at(s, layout.phz0) * 2.1457672119140625e-05));
    out.line("PHZ1", format("%12.2f",
                            static_cast<double>(v.si) * signed_at(s, layout.phz1) * 1.0728836059570312e-05));
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

void write_report(ReportWriter& out, Kind kind, Loaded& loaded) {
    const Sector& s = loaded.sector;
    const Layout& layout = layout_of(kind);
    Values v = values_of(s, kind);
    out.start(kind);
    write_header(out, loaded, kind, layout, v);
    if (kind == Kind::fendar) {
        write_fendar_acquisition(out, s, v);
    } else {
        write_torgil_acquisition(out, s, v);
    }
    write_plotting(out, s, layout, v);
    if (kind == Kind::fendar) {
        write_fendar_automation(out, s, layout);
    } else {
        write_torgil_automation(out, s, layout);
    }
    write_processing(out, s, layout, v);
    write_halvor_block(out, s, kind, v);
    if (kind == Kind::torgil) write_second_sector_block(out, loaded);
}

void ReportWriter::start(Kind kind) {
    kind_ = kind == Kind::fendar ? "FENDAR" : "TORGIL";
    block_.clear();
}

void ReportWriter::heading(const std::string& title) {
    block_ = title;
    text("\n    " + title + "\n");
}

void ReportWriter::parameter(const std::string& name, std::string_view label, const std::string& value,
                             const std::string& unit) {
    text(label);
    text(value);
    if (!unit.empty()) text(" " + unit);
    std::size_t first = value.find_first_not_of(' ');
    std::string bare =
        first == std::string::npos ? "" : value.substr(first, value.find_last_not_of(' ') - first + 1);
    report_.parameters.push_back({name, bare, unit, block_, kind_});
}

void ReportWriter::field(const std::string& name, const std::string& value) {
    std::string label = name + "=";
    if (label.size() < 8) label.resize(8, ' ');
    parameter(name, label, value);
}

void ReportWriter::line(const std::string& name, const std::string& value, const std::string& name2,
                        const std::string& value2) {
    field(name, value);
    if (!name2.empty()) {
        text("    ");
        field(name2, value2);
    }
    text("\n");
}

} // namespace parmdump
