#include "parmdump/values.h"

#include <cmath>

namespace parmdump {

namespace {

constexpr Layout FENDAR_LAYOUT{.scale = 144,
                               .ne = 222,
                               .phase_mode = 84,
                               .au_name = 103,
                               .date = 145,
                               .time = 146,
                               .sr = 159,
                               .ro = 140,
                               .v9 = 139,
                               .cx = 204,
                               .cy = 202,
                               .maxy = 224,
                               .hz_cm = 161,
                               .f1 = 153,
                               .f2 = 155,
                               .pc = 170,
                               .is = 163,
                               .isen = 182,
                               .mi_numerator = 168,
                               .mi_divisor = 179,
                               .mi_sign = 169,
                               .ai = 180,
                               .wdw = 192,
                               .lb = 188,
                               .gb = 190,
                               .dc = 217,
                               .tm1 = 195,
                               .tm2 = 196,
                               .sm = 197,
                               .phz0 = 166,
                               .phz1 = 167,
                               .of = 157};

constexpr Layout TORGIL_LAYOUT{.scale = 168,
                               .ne = 246,
                               .phase_mode = 82,
                               .au_name = 113,
                               .date = 170,
                               .time = 96,
                               .sr = 183,
                               .ro = 163,
                               .v9 = 164,
                               .cx = 228,
                               .cy = 226,
                               .maxy = 248,
                               .hz_cm = 185,
                               .f1 = 177,
                               .f2 = 179,
                               .pc = 194,
                               .is = 187,
                               .isen = 206,
                               .mi_numerator = 192,
                               .mi_divisor = 203,
                               .mi_sign = 193,
                               .ai = 204,
                               .wdw = 216,
                               .lb = 212,
                               .gb = 214,
                               .dc = 241,
                               .tm1 = 219,
                               .tm2 = 220,
                               .sm = 221,
                               .phz0 = 190,
                               .phz1 = 191,
                               .of = 181};

} // namespace

const Layout& layout_of(Kind kind) {
    return kind == Kind::fendar ? FENDAR_LAYOUT : TORGIL_LAYOUT;
}

Values values_of(const Sector& sector, Kind kind) {
    const Layout& layout = layout_of(kind);
    bool fendar = kind == Kind::fendar;
    Values v;
    v.sf = float_at(sector, 77);
    v.sf0 = fendar ? float_at(sector, 98) : 0.0;
    v.sr = float_at(sector, layout.sr);
    v.reference = fendar ? v.sf : v.sf + v.sr * 1e-6;
    v.o1 = float_at(sector, 57);
    v.o2 = float_at(sector, 59);
    v.sw = float_at(sector, 53);
    v.si = signed_at(sector, 40);
    v.td = signed_at(sector, 43);
    // FENDAR keeps the dwell time in whole units, TORGIL in tenths.
    v.dw = fendar ? signed_at(sector, 44) : signed_at(sector, 44) * 0.1;
    v.scale = std::ldexp(1.0, static_cast<int>(bits_at(sector, layout.scale, 10, 14)) - 1);
    v.cy = float_at(sector, layout.cy);
    v.maxy = float_at(sector, layout.maxy);
    return v;
}

} // namespace parmdump
