// A VELTRA disk image opened through the library: its files, their bytes in the host forms,
// the changes the commands make, and any command's printed text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "veltra/error.h"
#include "veltra/reporter.h"

namespace veltool {
struct Image;
}

namespace veltra {

// How an image is opened: to read it (a shared lock: other readers may work beside it), or
// to change it (opened for writing, an exclusive lock). Other programs that hold the image
// are waited for as the commands wait for them.
enum class Access { read, change };

// The host forms of a file, as velrea writes them and velwri takes them in: the directory
// sector and the data (letter B), the data alone (D), host text (A), and a 4-byte integer
// per word, least significant byte first (P).
enum class Form { file_image, data, text, packed };

// A file of the image's directory.
struct File {
    std::string full_name;         // NAME.EXT, or NAME
    std::string name;              // NAME
    std::string extension;         // EXT, or empty
    std::string tag;               // up to 4 characters, or empty
    std::uint32_t attributes = 0;  // the attribute word
    std::string attribute_letters; // as veldir prints them: A, R or I, then X, P, C
    std::int64_t size_words = 0;
    std::int64_t start_sector = 0; // the first data sector; the directory sector is the one before

    // From its directory sector, when that could be loaded and agrees with the entry (else
    // has_directory_sector is false and these keep their defaults).
    bool has_directory_sector = false;
    std::time_t date = 0; // 0: none
    std::int32_t load_address = 0;
    std::int32_t program_start = -1;     // -1: none
    std::int32_t user_info_address = -1; // -1: none
    std::int32_t user_info_size = 0;
    std::string comment;
};

// An open disk image, closed (and let go by its lock) when destroyed. Every call reads the
// image as it is at that moment. Warnings go to the reporter; an error ends the call with the
// reporter's error(), which throws (veltra::Error from the default reporter). One Image must
// not be used by two threads at once; different Images may.
class Image {
  public:
    // Opens and locks the image at path. Without a reporter the Image keeps the warnings
    // itself (warnings()); a reporter given must outlive the Image.
    static Image open(const std::string& path, Access access, Reporter* reporter = nullptr);

    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;
    ~Image();

    // The files of the directory in directory order, free areas left out; illegal entries are
    // included (attributes show it) without their directory sector.
    std::vector<File> files();
    // The deleted files that velddi finds in the free areas, in disk order.
    std::vector<File> deleted_files();

    // The bytes velrea writes for the file of that full name in the form.
    std::vector<std::uint8_t> read(const std::string& full_name, Form form);
    // The same bytes handed to take(bytes, n) a run at a time, until they end or take returns
    // false: for files of any size.
    void read(const std::string& full_name, Form form,
              const std::function<bool(const std::uint8_t*, std::size_t)>& take);

    // velwri of one host file in the form, with more of wri's letters (Y, F, O, V) when given;
    // true when it was written, false after the warning that says why not.
    bool write(const std::string& host_path, Form form, const std::string& letters = "");
    // The same from bytes, as a host file of that name would be written.
    bool write(const std::string& name, const std::vector<std::uint8_t>& bytes, Form form,
               const std::string& letters = "");
    // veldel of the file of that full name (letters Y and F as for del); true when it is
    // gone, false after the warning that says why not.
    bool remove(const std::string& full_name, const std::string& letters = "");
    // velren of the file to the new name (letter F as for ren); true when it was renamed,
    // false after the warning that says why not.
    bool rename(const std::string& full_name, const std::string& new_name, const std::string& letters = "");

    // Runs any veltool command (its name, e.g. "dir") with the words that follow the command
    // name on its command line, options first (without -d); returns what it prints. A command
    // that changes the image needs Access::change.
    std::string run(const std::string& command, const std::vector<std::string>& words = {});

    // The warnings kept so far by the Image's own reporter, oldest first; empty when the
    // caller gave a reporter.
    const std::vector<KeepingReporter::Warning>& warnings() const;

  private:
    struct State;
    explicit Image(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace veltra
