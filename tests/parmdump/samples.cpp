#include "tests/parmdump/samples.h"

namespace test {

ParameterSector fendar_sector() {
    ParameterSector s;
    s.name(1, "SPECTRUM", "FID").word(5, 8192).date(10, 24, 12, 99);
    s.word(11, 8 | 3 << 8 | 1 << 15 | 1 << 18 | 1 << 19).chars(12, "RUN1").comment("PROTON 1D TEST");
    // Acquisition.
    s.word(40, 8192).word(41, 2).word(42, 1).word(43, 16384).word(44, 100).word(45, 6000);
    s.decimal(51, 3, 3).word(52, 4).real(53, 5000.0).word(56, 2).real(57, 1000.0).real(59, -500.0);
    s.real(63, 0.5).decimal(67, 15, 6).decimal(68, 55, 0).decimal(69, 15, 0).word(70, 64).word(71, 16);
    s.decimal(74, 5, 4).real(77, 400.0).word(81, 5 | 1 << 6).word(84, -1).word(85, 300);
    s.word(86, 1 << 0 | 1 << 2 | 1 << 3 | 1 << 4 | 1 << 5 | 1 << 6 | 1 << 7 | 1 << 10 | 1 << 13);
    s.word(87, 2).word(88, 1 | 1 << 6).bcd(89, 300000).bcd(90, 4001).decimal(94, 1, 4);
    s.real(98, 399.5).real(100, 100.5).name(103, "AUPROG", "SEQ");
    // Automation: D0, D1, S0, S1, S9, P0, P1, V9.
    s.decimal(109, 2, 7).decimal(110, 1, 0).word(119, 5 | 1 << 6).word(120, 12).word(128, 127);
    s.decimal(129, 100, 0).decimal(130, 25, 1).word(139, -3).word(140, 3);
    // Plotting and processing.
    s.word(144, 3 << 10).date(145, 7, 3, 5).time(146, 13, 45, 7).real(153, 4500.0).real(155, -500.0);
    s.real(157, 800.0).real(159, 250.0).real(161, 200.0).word(163, 12).word(166, 1 << 22).word(167, -1024);
    s.word(168, 30).word(169, -1).real(170, 1.25).word(179, 4).word(180, 1).word(182, 7);
    s.real(188, 0.25).real(190, 0.125).word(192, 0x80 | 'E').word(195, 10).word(196, 20).word(197, 8192);
    s.real(202, 20.0).real(204, 25.0).real(217, 1.5).word(222, 16).real(224, 1024.0);
    return s;
}

ParameterSector torgil_sector() {
    ParameterSector s;
    s.name(1, "NOESYPHS", "SER").word(5, -8).word(11, 30 | 1 << 16 | 1 << 17 | 1 << 20);
    s.comment("NOESY MIX 100MS");
    // Acquisition.
    s.word(40, 512).word(41, 4).word(42, 2).word(43, 1024).word(44, 835).word(45, 7500).word(52, 2);
    s.real(53, 6000.0).real(57, 2000.0).decimal(67, 2, 7).word(70, 8).word(71, 4).real(77, 500.0);
    s.word(82, 5).word(85, 298).word(86, 1 << 1 | 1 << 8 | 1 << 9 | 1 << 10 | 1 << 11 | 1 << 12);
    s.word(88, 128).bcd(89, 123456).bcd(90, 5000).word(93, 250000).decimal(94, 5, 5).time(96, 23, 59, 59);
    // Automation: FD1, FD2, S1, S2; the second parameter sector and its list.
    s.decimal(103, 1, 7).decimal(104, 4095, 0).word(108, 2 | 1 << 6).word(109, 3);
    s.word(117, 3).word(126, 4).name(127, "VDLIST");
    // Plotting and processing.
    s.word(163, 0x41).word(164, 9).date(170, 1, 1, 0).real(177, 3000.0).real(179, -3000.0);
    s.real(181, -250.0).real(183, 1000.0).real(185, 100.0).word(187, 100).word(190, -(1 << 21));
    s.word(191, 8192).real(194, 0.5).word(204, -2).word(206, 3).real(212, 2.0).word(216, 'Q');
    s.word(219, 0).word(220, 0).word(221, 2048).real(226, 0.0).real(228, 20.0).real(241, 0.75);
    s.word(246, 32).real(248, 512.0);
    return s;
}

ParameterSector torgil_second_sector() {
    ParameterSector s(false);
    s.real(40, 1e8).real(42, 2e6).real(102, 5e7);
    s.word(104, 1).word(105, -1).word(119, 8388607);
    s.real(120, 0.25).real(134, -3.5);
    s.real(156, 1.5e8);
    return s;
}

std::vector<std::vector<std::uint8_t>> torgil_sectors() {
    std::vector<std::uint8_t> data(SECTOR, 0x5A);
    return {torgil_sector().bytes(), data, data, data, torgil_second_sector().bytes()};
}

const std::string FENDAR_REPORT = R"(FENDAR DATA

SPECTRUM.FID SCALE=4 SI=8 'IXT 8!3 24.Dec.99 $RUN1
2/16 1/64 5H QN QP R PR=11 AU AUPROG.SEQ BC LB=0.5 PK FENDAR SCAL
PROTON 1D TEST
Mon Mar  7 13:45:07 2005

    ACQUISITION PARAMETERS
SF=      400.0000000
SF0=     399.5000000    SY=      400.1300000
O1=          1000.00    O2=          -500.00
TD=            16384    SI=             8192
SW=          5000.00    DW=           100.00
FW=             6000    DE=              1.5
HZ/PT=         1.221    DR=               16
NC=                2    RG=               20
PW=              5.5    TE=              300
RD=        1.5000000    NE=               16
AQ=        1.6384000    RO=                3
NS=               64    DS=                4

    PLOTTING PARAMETERS

CX=            25.00    HZ/CM=        200.00
CY=            20.00    PPM/CM=        0.500
MAXY=        1024.00
F1=          4500.00    SR=           250.00
F2=          -500.00

MI=           150.00N   ISEN=              7
PC=             1.25    IS=               12

    AUTOMATION PARAMETERS
P0=             10.0    D0=        2.0000000
P1=             25.0    D1=        0.0000001
P2=              0.0    D2=        0.0000000
P3=              0.0    D3=        0.0000000
P4=              0.0    D4=        0.0000000
P5=              0.0    D5=        0.0000000
P6=              0.0    D6=        0.0000000
P7=              0.0    D7=        0.0000000
P8=              0.0    D8=        0.0000000
P9=              0.0    D9=        0.0000000
V9=               -3    SP=        0.0050000
S0=  5H    S1= 12L    S2=  0L    S3=  0L    S4=  0L
S5=  0L    S6=  0L    S7=  0L    S8=  0L    S9= 63H
IN=        0.0010000    VD=        0.0003000

    PROCESSING PARAMETERS

AI=                1    WDW=               E

LB=            0.250    TM1=              10
GB=            0.125    TM2=              20

DC=            1.500    SM=             8192
PHZ0=          90.00
PHZ1=         -90.00

    HALVOR PARAMETERS

BF1=     399.9997500    BF2=     100.5000000
SFO1=    400.0007500    SFO2=    100.4995000
SW=           12.500    SWH=         5000.00

OFFSET=        8.125 ppm             3250.00 Hz
OF=            2.000 ppm              800.00 Hz
)";

const std::string TORGIL_REPORT = R"(TORGIL DATA

NOESYPHS.SER SCALE=1/2 SI=2 'RPC 30!0 01.Jan.70 $
2/8 0L SIM AP F GD PRELKA DOUBLE 2D
NOESY MIX 100MS
Sat Jan  1 23:59:59 2000

    ACQUISITION PARAMETERS
SF=      500.0000000    SY=      500.0123456
O1=          2000.00    O2=             0.00
TD=             1024    SI=              512
SW=          6000.00    DW=            83.50
FW=             7500    TE=              298
HZ/PT=        23.438    DR=                4
NC=                4    RG=              128
RD=        2.0000000    NE=               32
AQ=        0.0855040    RO=                1
NS=                8    DS=                2

    PLOTTING PARAMETERS

CX=            20.00    HZ/CM=        100.00
CY=             0.00    PPM/CM=        0.200
MAXY=         512.00
F1=          3000.00    SR=          1000.00
F2=         -3000.00

MI=             2.00    ISEN=              3
PC=             0.50    IS=              100

    AUTOMATION PARAMETERS
FD1=       1.0000000
FD2=       0.0004095
FD3=       0.0000000
FD4=       0.0000000
FD5=       0.0000000
V9=                9
S1=  2H    S2=  3L    S3=  0L    S4=  0L    S5=  0L
IN=        0.0500000    IN4=       0.0025000

    PROCESSING PARAMETERS

AI=               -2    WDW=               Q

LB=            2.000    TM1=               0
GB=            0.000    TM2=               0

DC=            0.750    SM=             2048
PHZ0=         -45.00
PHZ1=          45.00

    HALVOR PARAMETERS

BF1=     500.0000000    SFO1=    500.0020000
SW=           12.000    SWH=         6000.00

OFFSET=        8.000 ppm             4000.00 Hz
OF=           -0.500 ppm             -250.00 Hz

    TORGIL PARAMETERS from sector 3
VDLIST=D5
VD=        1.5000000

D0=        1.0000000    D1=        0.0200000
D2=        0.0000000    D3=        0.0000000
D4=        0.0000000    D5=        0.0000000
D6=        0.0000000    D7=        0.0000000
D8=        0.0000000    D9=        0.0000000
D10=       0.0000000    D11=       0.0000000
D12=       0.0000000    D13=       0.0000000
D14=       0.0000000    D15=       0.0000000
D16=       0.0000000    D17=       0.0000000
D18=       0.0000000    D19=       0.0000000
D20=       0.0000000    D21=       0.0000000
D22=       0.0000000    D23=       0.0000000
D24=       0.0000000    D25=       0.0000000
D26=       0.0000000    D27=       0.0000000
D28=       0.0000000    D29=       0.0000000
D30=       0.0000000    D31=       0.5000000

C0=                1    C1=               -1
C2=                0    C3=                0
C4=                0    C5=                0
C6=                0    C7=                0
C8=                0    C9=                0
C10=               0    C11=               0
C12=               0    C13=               0
C14=               0    C15=         8388607
K0=        0.2500000    K1=        0.0000000
K2=        0.0000000    K3=        0.0000000
K4=        0.0000000    K5=        0.0000000
K6=        0.0000000    K7=       -3.5000000
)";

} // namespace test
