// The parameter report of a spectrometer data file, as parmdump prints it, with its
// parameters as records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "veltra/error.h"

namespace veltra {

// One parameter of a report, as the report prints it.
struct Parameter {
    // The name before its "=", e.g. "TD", "HZ/PT", "D3".
    std::string name;
    // The value as printed, without the blanks that pad it, e.g. "1024", "0.5000000", "1/2".
    std::string value;
    // The unit printed after the value ("ppm", "Hz"), or empty where the report prints none.
    std::string unit;
    // The heading of the block it stands in, e.g. "ACQUISITION PARAMETERS"; empty for the
    // header lines above the first block.
    std::string block;
    // The report it stands in: "FENDAR" or "TORGIL" (data read as both have two reports).
    std::string kind;
};

// A data file's report: its parameters in report order, and the text exactly as parmdump
// prints it.
struct ParameterReport {
    // Every "NAME=value" of the text, in the order of the text.
    std::vector<Parameter> parameters;
    // The whole report, starting with the data line ("FENDAR DATA", ...).
    std::string text;
};

// How data that are neither FENDAR nor TORGIL data by their attribute word are reported;
// with neither set, the report is the line "Unknown data" alone.
struct UnknownData {
    // Report them as FENDAR data.
    bool as_fendar = false;
    // Report them as TORGIL data.
    bool as_torgil = false;
};

// How parmdump called by this name reports unknown data: as FENDAR data when the name (the
// part after its last "/") contains "fen" or "dar", as TORGIL data when it contains "gil"
// (in lower or upper case).
UnknownData unknown_data_for_program(std::string_view program_name);

// The report of the data file at `path`. When the file does not start with a parameter
// sector, its parameter file p_NAME (else P_NAME) beside it is read, if that one does; the
// second TORGIL parameter sector comes from the file read, else from the data file the
// parameter file belongs to. Throws veltra::Error with parmdump's message (what() without
// the line end; errnum() the system error or 0).
ParameterReport parameters(const std::string& path, UnknownData unknown_data = {});

// The same for a data file held in memory: `bytes` are its content and `name` its path,
// which the messages show and the parameter file's name is made from; `parameter_file`
// holds the content of that parameter file p_NAME (empty: there is none). No host file is
// read.
ParameterReport parameters(const std::vector<std::uint8_t>& bytes, const std::string& name = "",
                           UnknownData unknown_data = {},
                           const std::vector<std::uint8_t>& parameter_file = {});

} // namespace veltra
