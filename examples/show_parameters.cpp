// Prints the parameters of a spectrometer data file through the veltra library, one a line:
// the block, the name, the value and the unit, separated by tabs. With -t it prints the
// report as parmdump does instead.
//   g++ -std=c++20 show_parameters.cpp $(pkg-config --cflags --libs veltra) -o show_parameters
#include <cstdio>
#include <string>

#include <veltra/parameters.h>

int main(int argc, char** argv) {
    bool text = argc == 3 && std::string(argv[1]) == "-t";
    if (argc != 2 && !text) {
        std::fprintf(stderr, "usage: %s [-t] datafile\n", argv[0]);
        return 2;
    }
    try {
        veltra::ParameterReport report = veltra::parameters(argv[argc - 1]);
        if (text) {
            std::fwrite(report.text.data(), 1, report.text.size(), stdout);
            return 0;
        }
        for (const veltra::Parameter& parameter : report.parameters) {
            std::printf("%s\t%s\t%s\t%s\n", parameter.block.c_str(), parameter.name.c_str(),
                        parameter.value.c_str(), parameter.unit.c_str());
        }
    } catch (const veltra::Error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
