// Writes sample spectrometer data files for trying parmdump:
//   PROTON.FID          FENDAR data, one file whose sector 0 is the parameter sector
//   noesy and p_noesy   TORGIL data, a data file with its parameter file beside it; the
//                       data file also holds the second parameter sector
//
// Usage: make_sample [directory]
#include <cstdio>
#include <fstream>
#include <string>

#include "parmdump/tools/packing.h"

namespace {

bool write(const std::string& path, const std::vector<packing::Bytes>& sectors) {
    packing::Bytes bytes = packing::host_file(sectors);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::fprintf(stderr, "make_sample: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    std::string directory = argc > 1 ? argv[1] : ".";
    packing::Bytes data(packing::SECTOR, 0x12);
    bool written = write(directory + "/PROTON.FID", {packing::fendar_sector().bytes(), data, data}) &&
                   write(directory + "/p_noesy", {packing::torgil_sector().bytes()}) &&
                   write(directory + "/noesy", {data, data, data, packing::torgil_second_sector().bytes()});
    return written ? 0 : 1;
}
