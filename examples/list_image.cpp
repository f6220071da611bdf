// Lists the files of a VELTRA disk image through the veltra library, one a line: the name,
// the size in words, the first sector and the date (UTC); the image's warnings go to
// standard error.
//   g++ -std=c++20 list_image.cpp $(pkg-config --cflags --libs veltra) -o list_image
#include <cstdio>
#include <ctime>

#include <veltra/image.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s image\n", argv[0]);
        return 2;
    }
    try {
        veltra::Image image = veltra::Image::open(argv[1], veltra::Access::read);
        for (const veltra::File& file : image.files()) {
            std::time_t date = file.date;
            std::tm calendar{};
            char day[16] = "";
            if (gmtime_r(&date, &calendar) != nullptr) std::strftime(day, sizeof day, "%Y-%m-%d", &calendar);
            std::printf("%-13s %10lld %8lld %s\n", file.full_name.c_str(),
                        static_cast<long long>(file.size_words), static_cast<long long>(file.start_sector),
                        day);
        }
        for (const auto& warning : image.warnings())
            std::fprintf(stderr, "WARNING: %s\n", warning.text.c_str());
    } catch (const veltra::Error& error) {
        std::fprintf(stderr, "ERROR: %s\n", error.what());
        return 1;
    }
    return 0;
}
