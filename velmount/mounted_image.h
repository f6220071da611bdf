// The files of the mounted disk image as the mount shows them: taken from the image's
// directory, taken again when the image file changes, and read in the chosen host form.
// The mount runs single-threaded.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "veltool/files/host_forms.h"
#include "veltool/image/image.h"
#include "veltra/reporter.h"

namespace velmount {

using veltool::Byte;

// Ends one operation of the mount with an error number (EIO, EBUSY, ...).
struct MountError {
    int error;
};

// What tells one state of the image file from the next: its size and modification time.
struct ImageStamp {
    std::int64_t size = -1;
    std::int64_t mtime_ns = 0;
    bool operator==(const ImageStamp&) const = default;
};

// One file of the mount.
struct MountedFile {
    std::string name;         // full name NAME.EXT, or NAME
    std::int64_t start = 0;   // start sector
    std::int64_t words = 0;   // size in words
    std::time_t date = 0;     // date of its directory sector
    std::vector<Byte> sector; // its directory sector as loaded: what a later read checks
    std::int64_t length = -1; // bytes in the host form; -1 until measured (text)
};

// Prints the library's warnings and errors on standard error as veltool prints them; within
// one load of the directory a warning is printed once, however often it comes up. An error
// ends the operation with EIO.
class MountReporter : public veltra::Reporter {
  public:
    void warning(const std::string& text, int errnum) override;
    [[noreturn]] void error(const std::string& text, int errnum) override;
    // Prints the error without ending anything.
    static void print_error(const std::string& text, int errnum);
    void start_load() { printed_.clear(); }

  private:
    std::unordered_set<std::string> printed_;
};

struct MountedImage {
    MountReporter reporter;
    veltool::Image disk{reporter, stdout}; // opened read-only
    veltool::HostForm form;
    bool force = false;
    ImageStamp stamp; // of the image the files were taken from
    bool loaded = false;
    std::vector<MountedFile> files; // in directory order
    std::unordered_map<std::string, std::size_t> by_name;
};

// Size and modification time of the open image.
ImageStamp stamp_of_image(const MountedImage& image);

// Takes the files from the image's directory: directory warnings on standard error; a
// directory that fails verification is fatal unless forced (as for the changing commands);
// files whose directory sector is unusable are left out with their warning.
void load_files(MountedImage& image);
// Loads the files again when the image changed since they were taken. An image that could
// not be loaded is an I/O error until it changes again.
void refresh(MountedImage& image);
// The file of that name, or nullptr.
MountedFile* find_file(MountedImage& image, const std::string& name);
// The byte count of the file's host form; for text, measured by converting it once.
std::int64_t host_length_of(const MountedImage& image, MountedFile& file);

// The whole text form of the file.
std::vector<Byte> host_text(const MountedImage& image, const MountedFile& file);
// Reads bytes of the (not text) host form from `offset` on into `out`, at most to the end
// of the form; returns how many. EIO when the file's directory sector is no longer the one
// it had when it was taken, or when the image ends before the file does.
std::size_t read_host_bytes(const MountedImage& image, const MountedFile& file, std::int64_t offset,
                            std::span<Byte> out);

} // namespace velmount
