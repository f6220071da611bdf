// The text of parmdump --help.
#pragma once

namespace parmdump {

inline constexpr const char* HELP =
    "usage: parmdump filename\n"
    "Prints the acquisition, plotting, automation and processing parameters of a KAVOLT\n"
    "spectrometer data file, the HALVOR parameters derived from them and, for TORGIL data,\n"
    "the parameter lists of the second parameter sector.\n"
    "\n"
    "The file holds 3 bytes per KAVOLT word (as veltool rea writes a file image) or 4, in\n"
    "either byte order; a data file without its own parameter sector is read with the\n"
    "parameter file p_NAME (or P_NAME) beside it.\n"
    "\n"
    "Options:\n"
    "  --help        this text\n"
    "  --version     the program's version\n"
    "\n"
    "Examples:\n"
    "  parmdump PROTON.FID\n"
    "  parmdump noesy\n";

} // namespace parmdump
