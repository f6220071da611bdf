#include "parmdump/halvor.h"

#include <cstdio>
#include <string>

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

void print_offsets(double offset_hz, double of_hz, double reference) {
    std::putchar('\n');
    std::printf("OFFSET= %12.3f ppm        %12.2f Hz\n", offset_hz / reference, offset_hz);
    std::printf("OF=     %12.3f ppm        %12.2f Hz\n", of_hz / reference, of_hz);
}

// The label "Xk=" of a list value, left-justified in 8 columns.
std::string label(char letter, int k) {
    std::string text = letter + std::to_string(k) + "=";
    text.resize(8, ' ');
    return text;
}

} // namespace

void print_halvor_block(const Sector& sector, Kind kind, const Values& v) {
    std::puts("\n    HALVOR PARAMETERS\n");
    double offset_hz = v.o1 - v.sr + v.sw * 0.5;
    double of_hz = float_at(sector, layout_of(kind).of);
    if (kind == Kind::fendar) {
        double bf2 = float_at(sector, 100);
        if (bf2 <= 0) bf2 = v.sf0;
        double bf1 = v.sf - v.sr * 1e-6;
        if (bf1 <= 0) bf1 = v.sf0;
        double sfo1 = bf1 + v.o1 * 1e-6;
        std::printf("BF1=    %12.7f    BF2=    %12.7f\n", bf1, bf2);
        std::printf("SFO1=   %12.7f    SFO2=   %12.7f\n", sfo1, bf2 + v.o2 * 1e-6);
        std::printf("SW=     %12.3f    SWH=    %12.2f\n", v.sw / sfo1, v.sw);
    } else {
        double bf1 = v.sf;
        double sfo1 = bf1 + v.o1 * 1e-6;
        std::printf("BF1=    %12.7f    SFO1=   %12.7f\n", bf1, sfo1);
        std::printf("SW=     %12.3f    SWH=    %12.2f\n", v.sw / sfo1, v.sw);
    }
    print_offsets(offset_hz, of_hz, v.reference);
}

void print_second_sector_block(Loaded& loaded) {
    std::int32_t n = signed_at(loaded.sector, SECOND_SECTOR_WORD);
    Sector second{};
    if (!load_second_sector(loaded, n, second)) {
        std::printf("\n    TORGIL PARAMETERS in sector %d not available\n", n);
        return;
    }
    std::printf("\n    TORGIL PARAMETERS from sector %d\n", n);
    std::printf("%s=D%d\n", name_at(loaded.sector, LIST_NAME_WORD).c_str(),
                signed_at(loaded.sector, LIST_INDEX_WORD) + 1);
    // D values and VD are kept in units of 1e-8.
    std::printf("VD=     %12.7f\n", float_at(second, VD_WORD) * 1e-8);
    std::putchar('\n');
    for (int k = 0; k < 32; k += 2) {
        std::printf("%s%12.7f    %s%12.7f\n", label('D', k).c_str(), float_at(second, D_WORD + 2 * k) * 1e-8,
                    label('D', k + 1).c_str(), float_at(second, D_WORD + 2 * k + 2) * 1e-8);
    }
    std::putchar('\n');
    for (int k = 0; k < 16; k += 2) {
        std::printf("%s%12d    %s%12d\n", label('C', k).c_str(), signed_at(second, C_WORD + k),
                    label('C', k + 1).c_str(), signed_at(second, C_WORD + k + 1));
    }
    for (int k = 0; k < 8; k += 2) {
        std::printf("%s%12.7f    %s%12.7f\n", label('K', k).c_str(), float_at(second, K_WORD + 2 * k),
                    label('K', k + 1).c_str(), float_at(second, K_WORD + 2 * k + 2));
    }
}

} // namespace parmdump
