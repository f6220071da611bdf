// Finding and loading the parameter sector of a data file, and the kind of its data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "parmdump/file.h"
#include "parmdump/sector.h"

namespace parmdump {

// What the first four bytes of a file announce.
struct Identification {
    bool recognised = false;
    bool expanded = false; // 4 bytes per word (little-endian); else 3
};

Identification classify(const Byte* first_four);

// The file being read: the one named on the command line, its parameter file, or later the
// data file that holds the second TORGIL parameter sector.
struct CurrentFile {
    std::unique_ptr<InputFile> file;
    std::string name;
};

// A parameter sector as loaded, in the normal byte order.
struct Loaded {
    const FileSource* files = nullptr; // where the files come from
    CurrentFile current;
    Sector sector{};
    bool expanded = false;
    bool swapped = false;
};

// Opens the data file named `argument` (or its parameter file p_<name> / P_<name>) in
// `files`, loads and byte-order-corrects the parameter sector. Throws veltra::Error with the
// message on failure.
Loaded load_parameter_sector(const FileSource& files, const std::string& argument);

// The reports to print.
struct Kinds {
    bool fendar = false;
    bool torgil = false;
};

// The kinds that a program called by this name reads unknown data as (only the part after
// the last "/" counts).
Kinds interpretation(std::string_view invocation);

// The data line ("FENDAR DATA", "TORGIL DATA" or "Unknown data" with the interpretations
// `unknown`) and the kinds to report.
struct DataLine {
    std::string text;
    Kinds kinds;
};
DataLine decide_kinds(const Sector& sector, Kinds unknown);

// Loads the second TORGIL parameter sector n: sector n + 1 of the current file, else sector
// n of the data file whose parameter file is current (which then becomes current). Returns
// whether the sector was loaded.
bool load_second_sector(Loaded& loaded, std::int32_t n, Sector& second);

} // namespace parmdump
