#include "parmdump/halvor.h"

#include <string>

#include "parmdump/format.h"

namespace parmdump {

namespace {

constexpr int SECOND_SECTOR_WORD = 117;
constexpr int LIST_INDEX_WORD = 126;
constexpr int LIST_NAME_WORD = 127;

// Second parameter sector: D0 to D31, C0 to C15, K0 to K7 and VD.
constexpr int D_WORD = 40;
constexpr int C_WORD = 104;
constexpr int K_WORD = 120;
constexpr int VD_WORD = 156;

// OFFSET or OF, in ppm and in Hz.
void write_offset(ReportWriter& out, const std::string& name, double hz, double reference) {
    std::string label = name + "=";
    label.resize(8, ' ');
    out.parameter(name, label, format("%12.3f", hz / reference), "ppm");
    out.text("        ");
    out.parameter(name, "", format("%12.2f", hz), "Hz");
    out.text("\n");
}

} // namespace

void write_halvor_block(ReportWriter& out, const Sector& sector, Kind kind, const Values& v) {
    out.heading("HALVOR PARAMETERS");
    out.text("\n");
    double offset_hz = v.o1 - v.sr + v.sw * 0.5;
    double of_hz = float_at(sector, layout_of(kind).of);
    if (kind == Kind::fendar) {
        double bf2 = float_at(sector, 100);
        if (bf2 <= 0) bf2 = v.sf0;
        double bf1 = v.sf - v.sr * 1e-6;
        if (bf1 <= 0) bf1 = v.sf0;
        double sfo1 = bf1 + v.o1 * 1e-6;
        out.line("BF1", format("%12.7f", bf1), "BF2", format("%12.7f", bf2));
        out.line("SFO1", format("%12.7f", sfo1), "SFO2", format("%12.7f", bf2 + v.o2 * 1e-6));
        out.line("SW", format("%12.3f", v.sw / sfo1), "SWH", format("%12.2f", v.sw));
    } else {
        double bf1 = v.sf;
        double sfo1 = bf1 + v.o1 * 1e-6;
        out.line("BF1", format("%12.7f", bf1), "SFO1", format("%12.7f", sfo1));
        out.line("SW", format("%12.3f", v.sw / sfo1), "SWH", format("%12.2f", v.sw));
    }
    out.text("\n");
    write_offset(out, "OFFSET", offset_hz, v.reference);
    write_offset(out, "OF", of_hz, v.reference);
}

void write_second_sector_block(ReportWriter& out, Loaded& loaded) {
    std::int32_t n = signed_at(loaded.sector, SECOND_SECTOR_WORD);
    Sector second{};
    if (!load_second_sector(loaded, n, second)) {
        out.heading(format("TORGIL PARAMETERS in sector %d not available", n));
        return;
    }
    out.heading(format("TORGIL PARAMETERS from sector %d", n));
    std::string list = name_at(loaded.sector, LIST_NAME_WORD);
    out.parameter(list, list + "=", format("D%d", signed_at(loaded.sector, LIST_INDEX_WORD) + 1));
    out.text("\n");
    // D values and VD are kept in units of 1e-8.
    out.line("VD", format("%12.7f", float_at(second, VD_WORD) * 1e-8));
    out.text("\n");
    auto name = [](char letter, int k) { return letter + std::to_string(k); };
    for (int k = 0; k < 32; k += 2) {
        out.line(name('D', k), format("%12.7f", float_at(second, D_WORD + 2 * k) * 1e-8), name('D', k + 1),
                 format("%12.7f", float_at(second, D_WORD + 2 * k + 2) * 1e-8));
    }
    out.text("\n");
    for (int k = 0; k < 16; k += 2) {
        out.line(name('C', k), format("%12d", signed_at(second, C_WORD + k)), name('C', k + 1),
                 format("%12d", signed_at(second, C_WORD + k + 1)));
    }
    for (int k = 0; k < 8; k += 2) {
        out.line(name('K', k), format("%12.7f", float_at(second, K_WORD + 2 * k)), name('K', k + 1),
                 format("%12.7f", float_at(second, K_WORD + 2 * k + 2)));
    }
}

} // namespace parmdump
