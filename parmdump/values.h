// The two kinds of acquisition data, where each keeps its parameters, and the values that
// several report blocks share.
#pragma once

#include <cstdint>

#include "parmdump/sector.h"

namespace parmdump {

enum class Kind { fendar, torgil };

// Word numbers of the parameters that the two kinds keep in different places.
struct Layout {
    int scale;      // scale exponent in bits 10 to 14
    int ne;         // NE, also second number of the optional header pair
    int phase_mode; // sign gives QP / CP / AP
    int au_name;    // name shown by the header flag AU
    int date, time; // date and time words of the date line
    int sr;
    int ro;
    int v9;
    int cx, cy, maxy, hz_cm;
    int f1, f2, pc, is, isen;
    int mi_numerator, mi_divisor, mi_sign;
    int ai, wdw, lb, gb, dc, tm1, tm2, sm;
    int phz0, phz1;
    int of;
};

const Layout& layout_of(Kind kind);

// Values of one report, taken once from the parameter sector. Frequencies SF, SF0 and the
// reference are in MHz; SR, O1, O2 and SW in Hz.
struct Values {
    double sf = 0;        // spectrometer frequency
    double sf0 = 0;       // FENDAR only
    double sr = 0;        // spectrum reference
    double reference = 0; // what Hz are divided by for ppm: SF (FENDAR), SF + SR * 1e-6 (TORGIL)
    double o1 = 0;
    double o2 = 0;
    double sw = 0;       // sweep width
    std::int32_t si = 0; // data size
    std::int32_t td = 0;
    double dw = 0;    // dwell time
    double scale = 0; // plot scale factor s of the header
    double cy = 0;
    double maxy = 0;
};

Values values_of(const Sector& sector, Kind kind);

} // namespace parmdump
