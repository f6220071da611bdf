#include "velmount/mounted_image.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/image/lock.h"
#include "veltool/report.h"

namespace velmount {

using veltool::SECTOR_BYTES;

namespace {

constexpr auto PACKED_BYTES = static_cast<std::int64_t>(veltool::PACKED_BYTES);

// Holds the image still while the mount reads it: the shared lock, taken only for the
// length of one read, so that veltool can change the image between reads. A program that
// keeps it locked longer than veltool would wait makes the read fail with EBUSY.
class ReadingImage {
  public:
    explicit ReadingImage(const MountedImage& image) : fd_(image.disk.fd()) {
        if (!veltool::lock_file(fd_, veltool::LockMode::shared, veltool::IMAGE_LOCK_WAIT_MS))
            throw MountError{EBUSY};
    }
    ~ReadingImage() { veltool::unlock_file(fd_); }
    ReadingImage(const ReadingImage&) = delete;
    ReadingImage& operator=(const ReadingImage&) = delete;

  private:
    int fd_;
};

// Reads exactly out.size() bytes at offset; an image that ends before is an I/O error.
void read_exactly(const MountedImage& image, std::int64_t offset, std::span<Byte> out) {
    if (out.empty()) return;
    veltool::Transfer got = veltool::try_read_at(image.disk.fd(), offset, out.data(), out.size());
    if (got.count != out.size()) throw MountError{EIO};
}

// The file's sectors may have been given to another file since it was taken: its directory
// sector must still be the one it had.
void check_still_there(const MountedImage& image, const MountedFile& file) {
    std::vector<Byte> sector(SECTOR_BYTES);
    read_exactly(image, (file.start - 1) * SECTOR_BYTES, sector);
    if (sector != file.sector) throw MountError{EIO};
}

void take_files(MountedImage& image) {
    veltool::Image& disk = image.disk;
    for (veltool::DirEntry& entry : disk.directory_list) {
        if (entry.empty || (entry.attributes & veltool::ATTR_NOT_FILE) != 0) continue;
        MountedFile file;
        if (!veltool::read_usable_sector(disk, entry, file.sector)) continue;
        if (!veltool::usable_host_name(entry.full_name)) {
            veltool::warn(disk, 0, "ILLEGAL OUTPUT FILENAME: %s", entry.full_name.c_str());
            continue;
        }
        if (image.by_name.contains(entry.full_name)) {
            veltool::warn(disk, 0, "second file named %s left out", entry.full_name.c_str());
            continue;
        }
        file.name = entry.full_name;
        file.start = entry.start;
        file.words = entry.size;
        file.date = entry.sector->date;
        if (!image.form.text) {
            file.length = veltool::host_length(
                veltool::source_range(file.start, file.words, image.form).length, image.form);
        }
        veltool::drop_directory_sector(entry);
        image.by_name.emplace(file.name, image.files.size());
        image.files.push_back(std::move(file));
    }
}

} // namespace

void MountReporter::warning(const std::string& text, int errnum) {
    if (printed_.insert(text).second) veltool::print_report("WARNING: ", text, errnum);
}

void MountReporter::print_error(const std::string& text, int errnum) {
    veltool::print_report("ERROR: ", text, errnum);
}

void MountReporter::error(const std::string& text, int errnum) {
    print_error(text, errnum);
    throw MountError{EIO};
}

ImageStamp stamp_of_image(const MountedImage& image) {
    struct stat status {};
    if (fstat(image.disk.fd(), &status) != 0) throw MountError{EIO};
    return {static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

void load_files(MountedImage& image) {
    image.loaded = false;
    image.files.clear();
    image.by_name.clear();
    image.stamp = ImageStamp{};
    ReadingImage reading(image);
    image.reporter.start_load();
    veltool::roll_back_interrupted_change(image.disk);
    image.stamp = stamp_of_image(image);
    veltool::read_directory(image.disk);
    veltool::require_sound_directory(image.disk, image.force);
    take_files(image);
    veltool::free_directory_list(image.disk);
    image.loaded = true;
}

void refresh(MountedImage& image) {
    if (stamp_of_image(image) != image.stamp) {
        load_files(image);
    } else if (!image.loaded) {
        throw MountError{EIO}; // the image that could not be loaded, unchanged
    }
}

MountedFile* find_file(MountedImage& image, const std::string& name) {
    auto found = image.by_name.find(name);
    return found == image.by_name.end() ? nullptr : &image.files[found->second];
}

std::int64_t host_length_of(const MountedImage& image, MountedFile& file) {
    if (file.length < 0) file.length = static_cast<std::int64_t>(host_text(image, file).size());
    return file.length;
}

std::vector<Byte> host_text(const MountedImage& image, const MountedFile& file) {
    veltool::HostForm text_form{false, true, false};
    veltool::ImageRange source = veltool::source_range(file.start, file.words, text_form);
    ReadingImage reading(image);
    check_still_there(image, file);
    std::vector<Byte> text;
    auto take = [&](Byte* run, std::size_t n) {
        bool ended = false;
        text.insert(text.end(), run, run + veltool::text_to_host({run, n}, ended));
        return !ended;
    };
    if (veltool::read_runs(image.disk.fd(), source.offset, source.length, take)) throw MountError{EIO};
    return text;
}

std::size_t read_host_bytes(const MountedImage& image, const MountedFile& file, std::int64_t offset,
                            std::span<Byte> out) {
    const veltool::HostForm form = image.form;
    veltool::ImageRange source = veltool::source_range(file.start, file.words, form);
    std::int64_t length = veltool::host_length(source.length, form);
    if (offset >= length) return 0;
    std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(length - offset, out.size()));
    ReadingImage reading(image);
    check_still_there(image, file);
    if (!form.packed) {
        read_exactly(image, source.offset + offset, out.first(n));
        return n;
    }
    // Whole words around the range, converted, then the range cut out of them.
    std::int64_t first_word = offset / PACKED_BYTES;
    std::int64_t end_word = (offset + static_cast<std::int64_t>(n) + PACKED_BYTES - 1) / PACKED_BYTES;
    std::vector<Byte> words(static_cast<std::size_t>((end_word - first_word) * kavolt::WORD_BYTES));
    read_exactly(image, source.offset + first_word * kavolt::WORD_BYTES, words);
    std::vector<Byte> packed = veltool::words_to_packed(words);
    std::copy_n(packed.begin() + (offset - first_word * PACKED_BYTES), n, out.begin());
    return n;
}

} // namespace velmount
