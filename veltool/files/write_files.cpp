// wri: copies host files into the disk image, one image file per host file.
#include "veltool/commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "veltool/files/free_space.h"
#include "veltool/files/host_forms.h"
#include "veltool/files/transfer.h"
#include "veltool/image/io.h"
#include "veltool/report.h"

namespace veltool {

namespace {

constexpr const char* CORRUPT_SECTOR = "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: %s";

// How the run goes on: write this host file, go on with the next one, or leave the loop.
enum class Step { write, next, stop };

struct WriteRun {
    HostForm form;
    bool replace_protected = false; // Y
    bool force = false;             // F
    bool verbose = false;           // V
    bool name_from_sector = false;  // O, with the directory-sector form
    bool changed = false;           // the directory must be written at the end
};

// A host file opened as the source of one image file.
struct Source {
    FileDescriptor fd;
    std::int64_t bytes = 0;          // its size
    std::int64_t count = 0;          // bytes that make the image file: text measured with closing bytes
    std::optional<DirSector> sector; // its own directory sector, directory-sector form
};

constexpr const char* SEEK_HOST = "cannot seek file image";
constexpr const char* READ_HOST = "cannot read file sector";

// Hands the host file's bytes to take a run at a time, as read_runs; false, after the
// warning, when they do not all arrive while take still wants them.
bool read_host(Image& image, int fd, std::int64_t bytes,
               const std::function<bool(Byte*, std::size_t)>& take) {
    std::optional<Transfer> failed = read_runs(fd, 0, bytes, take);
    return !failed || warn_transfer(image, *failed, SEEK_HOST, READ_HOST);
}

bool open_host(Image& image, const std::string& path, FileDescriptor& fd) {
    fd = open_host_file_or_warn(image, path, "cannot open VELTRA file %s");
    return fd.is_open();
}

bool host_size(Image& image, int fd, const std::string& path, std::int64_t& size) {
    struct stat status {};
    if (fstat(fd, &status) != 0) return warn(image, errno, "cannot stat VELTRA file %s", path.c_str()), false;
    size = static_cast<std::int64_t>(status.st_size);
    return true;
}

// The packed form: the host file's integers converted into words in a temporary file beside
// it, whose name is removed at once; the temporary file becomes the source.
bool open_packed(Image& image, const std::string& path, FileDescriptor& source) {
    FileDescriptor host;
    std::int64_t size = 0;
    if (!open_host(image, path, host) || !host_size(image, host.get(), path, size)) return false;
    std::string name = path + "XXXXXX";
    std::vector<char> unique(name.begin(), name.end());
    unique.push_back('\0');
    FileDescriptor temporary(mkstemp(unique.data()));
    if (!temporary.is_open())
        return warn(image, errno, "cannot create VELTRA temporary file %s", name.c_str()), false;
    unlink(unique.data());
    std::int64_t written = 0;
    bool stored = true;
    bool read = read_host(image, host.get(), size, [&](const Byte* run, std::size_t n) {
        std::vector<Byte> words = packed_to_words(std::span<const Byte>(run, n));
        Transfer done = try_write_at(temporary.get(), written, words.data(), words.size());
        if (!done.sought || done.count != words.size())
            stored = warn_transfer(image, done, SEEK_HOST, "cannot write file sector");
        written += static_cast<std::int64_t>(words.size());
        return stored;
    });
    if (!read || !stored) return false;
    source = std::move(temporary);
    return true;
}

// The text form counts the text as it will be stored, with its closing bytes.
bool measure_text(Image& image, Source& source) {
    TextEncoder encoder;
    std::vector<Byte> text(static_cast<std::size_t>(std::min(source.bytes, RUN_BYTES)));
    std::int64_t length = 0;
    bool read = read_host(image, source.fd.get(), source.bytes, [&](const Byte* run, std::size_t n) {
        length += static_cast<std::int64_t>(encoder.encode(std::span<const Byte>(run, n), text.data()));
        return !encoder.ended();
    });
    if (!read) return false;
    source.count = length + static_cast<std::int64_t>(encoder.closing().size());
    return true;
}

enum class SectorRead { found, none, failed };

// The source's first 768 bytes as a directory sector.
SectorRead read_source_sector(Image& image, Source& source) {
    Byte bytes[SECTOR_BYTES];
    Transfer done = try_read_at(source.fd.get(), 0, bytes, sizeof bytes);
    if (!done.sought || done.count != sizeof bytes)
        return warn_transfer(image, done, SEEK_HOST, READ_HOST), SectorRead::failed;
    source.sector = decode_directory_sector(bytes, &image.dates);
    return source.sector ? SectorRead::found : SectorRead::none;
}

// Where the data of an image file go, and how far they got.
struct Destination {
    Image& image;
    std::int64_t offset = 0; // byte offset in the image
    std::int64_t length = 0; // bytes of the image file, padded to a whole word
    std::int64_t written = 0;

    void put(const Byte* bytes, std::size_t n) {
        n = static_cast<std::size_t>(std::min(static_cast<std::int64_t>(n), length - written));
        if (n == 0) return;
        write_image(image, offset + written, bytes, n, "cannot write disk sector");
        written += static_cast<std::int64_t>(n);
    }
};

// Copies the source into the image (as it is in the kernel, text converted a run at a time),
// then a text's closing bytes and zeros up to a whole word. False, after the warning, when
// the host file cannot be read.
bool copy_in(const Source& source, bool text, Destination& destination) {
    if (!text) {
        CopyEnd from{source.fd.get(), 0, SEEK_HOST, READ_HOST};
        Image& image = destination.image;
        CopyEnd to = image_end(image, destination.offset);
        std::optional<Transfer> failed =
            copy_run(from, to, std::min(source.bytes, destination.length), &destination.written);
        if (failed) return warn_transfer(image, *failed, SEEK_HOST, READ_HOST);
    } else {
        TextEncoder encoder;
        std::vector<Byte> converted(static_cast<std::size_t>(std::min(source.bytes, RUN_BYTES)));
        bool read =
            read_host(destination.image, source.fd.get(), source.bytes, [&](const Byte* run, std::size_t n) {
                destination.put(converted.data(),
                                encoder.encode(std::span<const Byte>(run, n), converted.data()));
                return !encoder.ended();
            });
        if (!read) return false;
        std::vector<Byte> closing = encoder.closing();
        destination.put(closing.data(), closing.size());
    }
    const Byte zeros[SECTOR_BYTES] = {};
    while (destination.written < destination.length)
        destination.put(zeros, sizeof zeros);
    return true;
}

// The directory sector of the new file: the host file's own, or a fresh one.
DirSector new_directory_sector(DirEntry& entry, const Source& source) {
    DirSector sector;
    if (source.sector) {
        sector = *source.sector;
        sector.attributes |= FILE_MARKER;
    } else {
        sector.attributes = FILE_MARKER;
        sector.program_start = -1;
        sector.user_info_address = -1;
    }
    entry.tag = sector.tag;
    entry.attributes = sector.attributes;
    return sector;
}

// Makes the placed EMPTY entry the file and writes its directory sector.
void finish_file(Image& image, DirEntry& entry, const Source& source, const std::string& name,
                 std::int64_t words) {
    DirSector sector = new_directory_sector(entry, source);
    sector.kind = SECTOR_KIND_FILE;
    entry.empty = false;
    entry.size = sector.size = words;
    set_full_name(entry, name);
    set_full_name(sector, name);
    sector.start = entry.start;
    sector.date = std::time(nullptr);
    entry.sector = sector;
    write_directory_sector(image, entry);
    drop_directory_sector(entry);
}

// A file released for its replacement comes back when the replacement is not made, unless
// the replacement's data already went into its sectors.
void give_back(const std::optional<ReleasedFile>& released, const Destination& destination) {
    Image& image = destination.image;
    if (!released) return;
    const DirEntry& old = released->entry;
    std::int64_t begin = directory_sector_offset(old);
    std::int64_t end = (old.start + data_sectors(old.size)) * SECTOR_BYTES;
    if (destination.written > 0 && destination.offset < end &&
        begin < destination.offset + destination.written)
        return;
    restore_released(image, *released);
}

bool open_source(Image& image, const std::string& path, HostForm form, Source& source) {
    bool opened = form.packed ? open_packed(image, path, source.fd) : open_host(image, path, source.fd);
    if (!opened || !host_size(image, source.fd.get(), path, source.bytes)) return false;
    source.count = source.bytes;
    return true;
}

// Everything known about a host file before the image is changed for it.
struct Plan {
    Source source;
    std::string name;       // the image file's full name
    std::int64_t words = 0; // its size
};

// Opens, measures and names the host file and makes the checks that come before any change.
Step prepare(Image& image, const std::string& path, const WriteRun& run, Plan& plan) {
    const HostForm form = run.form;
    Source& source = plan.source;
    if (!open_source(image, path, form, source)) return Step::next;
    if (form.text && !measure_text(image, source)) return Step::stop;
    plan.words = (source.count + 2) / 3;
    if (form.with_sector) {
        if (source.count < SECTOR_BYTES)
            return warn(image, 0, "VELTRA file %s contains no data", path.c_str()), Step::next;
        plan.words -= SECTOR_WORDS;
    }
    plan.name = canonical_name(path);
    // The host file's own directory sector is read before anything is released, placed or
    // written, so that a host file without a usable one changes nothing.
    if (form.with_sector) {
        SectorRead read = read_source_sector(image, source);
        if (read == SectorRead::failed) return Step::stop;
        if (read == SectorRead::none) {
            warn(image, 0, CORRUPT_SECTOR, run.name_from_sector ? path.c_str() : plan.name.c_str());
            return Step::next;
        }
        if (run.name_from_sector) plan.name = source.sector->full_name;
    }
    auto found = find_file(image, plan.name);
    if (found != nullptr && (found->attributes & ATTR_P) && !run.replace_protected)
        return warn(image, 0, "ILLEGAL OUTPUT FILENAME: %s", plan.name.c_str()), Step::next;
    require_sound_directory(image, run.force);
    return Step::write;
}

// Releases a file of the same name, places the new file, copies it in and gives it its
// directory sector.
Step write_file(Image& image, const std::string& path, const Plan& plan, WriteRun& run) {
    std::optional<ReleasedFile> released;
    auto found = find_file(image, plan.name);
    if (found != nullptr) {
        run.changed = true;
        released = release_entry(image, *found);
        tidy_directory(image);
    }
    Destination destination{image};
    PlaceResult placed = place_in_free_space(image, plan.words);
    if (placed.status != Placement::placed) {
        warn(image, 0, "%s", placement_message(placed.status));
        give_back(released, destination);
        return Step::stop;
    }
    run.changed = true;
    if (run.verbose) std::fprintf(image.out, "WRITING %s TO %s\n", path.c_str(), plan.name.c_str());
    destination.offset = placed.entry->start * SECTOR_BYTES;
    destination.length = plan.words * kavolt::WORD_BYTES;
    if (run.form.with_sector) {
        destination.offset -= SECTOR_BYTES;
        destination.length += SECTOR_BYTES;
    }
    if (!copy_in(plan.source, run.form.text, destination)) {
        if (released) tidy_directory(image);
        give_back(released, destination);
        return Step::stop;
    }
    finish_file(image, *placed.entry, plan.source, plan.name, plan.words);
    return Step::next;
}

} // namespace

std::int64_t write_host_files(Image& image, const Options& options) {
    WriteRun run;
    run.form = host_form_of(options.letters);
    run.replace_protected = has_letter(options.letters, 'Y');
    run.force = has_letter(options.letters, 'F');
    run.verbose = has_letter(options.letters, 'V');
    run.name_from_sector = has_letter(options.letters, 'O') && run.form.with_sector;
    if (options.arguments.empty()) fatal(0, "NOTHING TO WRITE");
    read_directory(image);
    std::int64_t written = 0;
    for (const std::string& path : options.arguments) {
        Plan plan;
        Step step = prepare(image, path, run, plan);
        if (step == Step::write) {
            step = write_file(image, path, plan, run);
            if (step == Step::next) ++written;
        }
        if (step == Step::stop) break;
    }
    if (run.changed) write_directory(image);
    return written;
}

void command_wri(Image& image, const Options& options) {
    write_host_files(image, options);
}

} // namespace veltool
