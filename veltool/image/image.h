// One open disk image: everything the commands know of it while they work on it, where its
// warnings and errors go, and where the commands print.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/file_descriptor.h"
#include "common/text.h"
#include "veltool/image/io.h"
#include "veltool/image/journal.h"
#include "veltool/image/lock.h"
#include "veltool/image/records.h"
#include "veltra/reporter.h"

namespace veltool {

using DirectoryList = std::list<DirEntry>;

class SectorScan;

// How long a command waits for another program to let go of the image.
constexpr int IMAGE_LOCK_WAIT_MS = 30000;

// What a command does with the disk image: whether the image is opened for it, and the lock
// held on it while the command runs.
enum class ImageUse {
    reads,   // opened for it, shared lock: other readers may run beside it
    changes, // opened for it, exclusive lock; flushed to stable storage before it ends
    creates, // new: the command creates or opens and locks the image itself when not open
};

struct Image {
    // Where the work on this image reports and prints; both outlive the image.
    Image(veltra::Reporter& reporter, std::FILE* out) : reporter(reporter), out(out) {}
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    int fd() const { return image_fd.get(); }

    veltra::Reporter& reporter;
    std::FILE* out; // what the commands print goes here
    std::vector<std::string>* kept_warnings = nullptr; // when set, every warning's text goes here too

    kavolt::FileDescriptor image_fd; // not open until the image is opened
    std::string path;
    bool writable = false;            // opened for reading and writing
    int write_refused = 0;            // errno of the read-write open that failed, or 0
    LockMode lock = LockMode::shared; // the lock held while open

    // From the directory header, and the disk comment, once read_directory has run.
    std::int64_t directory_blocks = 0; // N
    std::int64_t disk_sectors = 0;     // S
    std::time_t directory_date = 0;
    std::string disk_comment;
    DirectoryList directory_list; // the entries in disk order

    SectorScan* current_scan = nullptr; // the scan that the writes to the image keep up to date
    // While a change runs: the journal that every write to the image goes through first, and
    // whether the EMPTY areas of the directory as the disk held it were exempted from it.
    std::optional<Journal> journal;
    bool empty_areas_exempt = false;

    kavolt::DateCache dates;                                         // of the directory sectors
    std::optional<std::pair<std::time_t, std::string>> listing_date; // the last date a listing showed
};

// Opens the disk image at path for reading and writing, else for reading only; true when
// it could be opened for writing.
bool open_image(Image& image, const std::string& path);

// Locks the open image for as long as it stays open, waiting for other programs as long as
// IMAGE_LOCK_WAIT_MS; fatal when one still holds it then.
void lock_image(Image& image, LockMode mode);

// Opens and locks the image for a command that uses it so: an exclusive lock for one that
// changes or creates it, when it could be opened for writing; a shared lock otherwise.
void hold_image(Image& image, const std::string& path, ImageUse use);

// The image as the destination of a copy at offset: seen by the scan that walks it, a failed
// write fatal "cannot seek disk image" or write_message, with the reason it could not be
// opened for writing where it is open for reading only.
CopyEnd image_end(Image& image, std::int64_t offset, const char* write_message = "cannot write disk sector");
// A journal left beside the open, locked image by a change that was interrupted is played
// back and removed under the exclusive lock, with a warning; then the image is held with its
// own lock again. Fatal, with nothing read, when the image cannot be written, or when the
// journal belongs to another image or is damaged (both are then left as they are).
void roll_back_interrupted_change(Image& image);

// Runs the work of a change of the image under a journal: when it ends, well or with an
// error, what it wrote is flushed to stable storage and the journal removed. A flush that
// fails leaves the journal, for the next program to roll the change back.
void run_change(Image& image, const std::function<void()>& work);

// Before n bytes at offset of the image are overwritten: their old bytes go to the journal of
// the change, if one runs. With `always` even bytes of an area that was EMPTY.
void journal_write(Image& image, std::int64_t offset, std::int64_t n, bool always = false);

// Writes n bytes at offset of the image, seen by the scan that walks it; a short write is
// fatal as for image_end.
void write_image(Image& image, std::int64_t offset, const void* bytes, std::size_t n,
                 const char* write_message);
// The same for a write that holds sectors of several kinds: the message is the one for the
// byte where the write stopped.
void write_image(Image& image, std::int64_t offset, const void* bytes, std::size_t n,
                 const std::function<const char*(std::int64_t stopped_at)>& write_message);

} // namespace veltool
