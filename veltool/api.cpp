// The public veltra::Image: the typed calls of the library, each made of the commands' own
// pieces on the Image's internal veltool::Image.
#include "veltra/image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <span>
#include <unistd.h>

#include "veltool/commands.h"
#include "veltool/files/file_walk.h"
#include "veltool/files/transfer.h"
#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/listings.h"
#include "veltool/report.h"

namespace veltra {

struct Image::State {
    explicit State(Reporter* reporter) : image(reporter != nullptr ? *reporter : keeping, nullptr) {}
    KeepingReporter keeping;
    veltool::Image image;
    bool change = false; // opened with Access::change
};

namespace {

using veltool::DirEntry;
using veltool::DirSector;

// Runs work on the image; an error goes to the image's reporter, whose error() throws (a
// reporter that returns all the same leaves the error to go on as it is).
template <class Work>
auto guarded(veltool::Image& image, Work work) {
    try {
        return work();
    } catch (const Error& error) {
        image.reporter.error(error.what(), error.errnum());
        throw;
    }
}

// What the commands print while it lives goes into memory instead of the image's output.
class Captured {
  public:
    explicit Captured(veltool::Image& image) : image_(image), before_(image.out) {
        stream_ = open_memstream(&buffer_, &size_);
        if (stream_ == nullptr) veltool::fatal(errno, "no memory for the printed text");
        image.out = stream_;
    }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
    ~Captured() {
        image_.out = before_;
        std::fclose(stream_);
        std::free(buffer_);
    }
    std::string text() {
        std::fflush(stream_);
        return std::string(buffer_, size_);
    }

  private:
    veltool::Image& image_;
    std::FILE* before_;
    std::FILE* stream_ = nullptr;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
};

// The letter of the form among rea's and wri's letters.
char form_letter(Form form) {
    switch (form) {
    case Form::data: return 'D';
    case Form::text: return 'A';
    case Form::packed: return 'P';
    default: return 'B';
    }
}

veltool::HostForm host_form(Form form) {
    return veltool::host_form_of(std::string(1, form_letter(form)));
}

// A name pattern of the commands that matches exactly this name.
std::string exact_pattern(const std::string& name) {
    std::string pattern;
    for (char c : name) {
        if (c == '*' || c == '?' || c == '[' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern;
}

void require_change(bool change, const veltool::Image& image) {
    if (!change) veltool::fatal(EBADF, "disk image %s is open for reading only", image.path.c_str());
}

veltool::Options options_for(const veltool::Image& image, std::string letters,
                             std::vector<std::string> arguments) {
    veltool::Options options;
    options.disk_image = image.path;
    options.letters = std::move(letters);
    options.arguments = std::move(arguments);
    return options;
}

// A File from a directory entry or a deleted file's directory sector, and the directory
// sector loaded for it (or none).
template <class Record>
File file_of(const Record& record, std::int64_t start, const DirSector* sector) {
    File file;
    file.full_name = record.full_name;
    file.name = record.name;
    file.extension = record.extension;
    file.tag = record.tag;
    file.attributes = record.attributes;
    file.attribute_letters = veltool::attribute_letters(record.attributes);
    file.size_words = record.size;
    file.start_sector = start;
    if (sector != nullptr) {
        file.has_directory_sector = true;
        file.date = sector->date;
        file.load_address = sector->load_address;
        file.program_start = sector->program_start;
        file.user_info_address = sector->user_info_address;
        file.user_info_size = sector->user_info_size;
        file.comment = sector->comment;
    }
    return file;
}

// The file of that full name in the directory, read now.
DirEntry& existing_file(veltool::Image& image, const std::string& full_name) {
    veltool::read_directory(image);
    DirEntry* entry = veltool::find_file(image, full_name);
    if (entry == nullptr) veltool::fatal(0, "FILE NOT FOUND: %s", full_name.c_str());
    return *entry;
}

// del or ren of one file that must exist, under a journal, what they print kept from the
// caller's output.
void change_existing(veltool::Image& image, bool change, const std::string& full_name,
                     veltool::Handler handler, const veltool::Options& options) {
    require_change(change, image);
    existing_file(image, full_name);
    Captured printed(image);
    veltool::run_change(image, [&] { handler(image, options); });
}

// The file of that full name with its directory sector loaded, as rea takes it.
DirEntry& readable_file(veltool::Image& image, const std::string& full_name) {
    DirEntry* entry = &existing_file(image, full_name);
    if (!veltool::load_usable_sector(image, *entry))
        veltool::fatal(0, "CORRUPT DIRECTORY SECTOR, DRE RECOMMENDED: %s", full_name.c_str());
    return *entry;
}

// A scratch folder holding one host file, removed with it.
class ScratchFile {
  public:
    ScratchFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const char* base = std::getenv("TMPDIR");
        folder_ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/veltra.XXXXXX";
        if (mkdtemp(folder_.data()) == nullptr) {
            int error = errno;
            folder_.clear();
            veltool::fatal(error, "cannot create VELTRA file %s", name.c_str());
        }
        std::size_t slash = name.rfind('/');
        path_ = folder_ + "/" + (slash == std::string::npos ? name : name.substr(slash + 1));
        veltool::FileDescriptor file = veltool::create_host_file(path_, "cannot create VELTRA file %s");
        veltool::write_at(file.get(), 0, bytes.data(), bytes.size(), "cannot seek file image",
                          "cannot write file sector");
        veltool::close_host_file(file, "cannot write file sector");
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() {
        if (folder_.empty()) return;
        unlink(path_.c_str());
        rmdir(folder_.c_str());
    }
    const std::string& path() const { return path_; }

  private:
    std::string folder_, path_;
};

} // namespace

std::int64_t host_size(std::int64_t size_words, Form form) {
    veltool::HostForm host = host_form(form);
    if (host.text) return -1;
    return veltool::host_length(veltool::source_range(0, size_words, host).length, host);
}

Image::Image(std::unique_ptr<State> state) : state_(std::move(state)) {}
Image::Image(Image&& other) noexcept = default;
Image& Image::operator=(Image&& other) noexcept = default;
Image::~Image() = default;

Image Image::open(const std::string& path, Access access, Reporter* reporter) {
    auto state = std::make_unique<State>(reporter);
    veltool::Image& image = state->image;
    guarded(image, [&] {
        image.path = path;
        int flags = access == Access::change ? O_RDWR : O_RDONLY;
        image.image_fd = veltool::FileDescriptor(::open(path.c_str(), flags | O_CLOEXEC));
        if (!image.image_fd.is_open())
            veltool::fatal(errno, "cannot open VELTRA disk image %s", path.c_str());
        image.writable = access == Access::change;
        veltool::lock_image(image, access == Access::change ? veltool::LockMode::exclusive
                                                            : veltool::LockMode::shared);
        veltool::roll_back_interrupted_change(image);
    });
    state->change = access == Access::change;
    return Image(std::move(state));
}

std::vector<File> Image::files() {
    veltool::Image& image = state_->image;
    return guarded(image, [&] {
        veltool::read_directory(image);
        std::int64_t image_bytes = veltool::file_size(image.fd(), "cannot stat disk image");
        veltool::MappedWalk walk(image.fd());
        std::vector<File> files;
        for (DirEntry& entry : image.directory_list) {
            if (entry.empty) continue;
            if (!(entry.attributes & veltool::ATTR_NOT_FILE)) {
                veltool::read_directory_record(image, entry, image_bytes, walk);
                if (entry.sector && entry.sector->kind != veltool::SECTOR_KIND_FILE)
                    veltool::drop_directory_sector(entry);
            }
            files.push_back(file_of(entry, entry.start, entry.sector ? &*entry.sector : nullptr));
            veltool::drop_directory_sector(entry);
        }
        return files;
    });
}

std::vector<File> Image::deleted_files() {
    veltool::Image& image = state_->image;
    return guarded(image, [&] {
        veltool::read_directory(image);
        veltool::SectorScan scan(image);
        std::vector<File> files;
        for (const DirEntry& area : image.directory_list) {
            if (!area.empty) continue;
            veltool::find_deleted_files(scan, area, [&](std::int64_t s, const DirSector& found) {
                files.push_back(file_of(found, s, &found));
            });
        }
        return files;
    });
}

std::vector<std::uint8_t> Image::read(const std::string& full_name, Form form) {
    std::vector<std::uint8_t> bytes;
    read(full_name, form, [&bytes](const std::uint8_t* run, std::size_t n) {
        bytes.insert(bytes.end(), run, run + n);
        return true;
    });
    return bytes;
}

void Image::read(const std::string& full_name, Form form,
                 const std::function<bool(const std::uint8_t*, std::size_t)>& take) {
    veltool::Image& image = state_->image;
    guarded(image, [&] {
        DirEntry& entry = readable_file(image, full_name);
        veltool::read_host_form(image, entry, host_form(form), take);
        veltool::drop_directory_sector(entry);
    });
}

void Image::read(const std::string& full_name, Form form, std::int64_t offset,
                 const std::function<bool(const std::uint8_t*, std::size_t)>& take) {
    veltool::HostForm host = host_form(form);
    if (host.text || offset <= 0) {
        // Made from the start, the bytes before the offset passed over.
        std::uint64_t skip = offset > 0 ? static_cast<std::uint64_t>(offset) : 0;
        read(full_name, form, [&](const std::uint8_t* run, std::size_t n) {
            std::size_t passed = static_cast<std::size_t>(std::min<std::uint64_t>(skip, n));
            skip -= passed;
            return passed == n || take(run + passed, n - passed);
        });
        return;
    }
    veltool::Image& image = state_->image;
    guarded(image, [&] {
        DirEntry& entry = readable_file(image, full_name);
        auto [source, length] = veltool::source_range(entry.start, entry.size, host);
        veltool::drop_directory_sector(entry);
        // From the word (packed) or byte the offset lies in; what comes before it in the
        // first run is cut off.
        std::int64_t unit = host.packed ? static_cast<std::int64_t>(veltool::PACKED_BYTES) : 1;
        std::int64_t step = host.packed ? kavolt::WORD_BYTES : 1;
        std::int64_t passed = std::min(offset / unit, length / step);
        std::size_t cut = static_cast<std::size_t>(offset - passed * unit);
        std::vector<std::uint8_t> packed;
        auto failed = veltool::read_runs(image.fd(), source + passed * step, length - passed * step,
                                         [&](std::uint8_t* run, std::size_t n) {
                                             std::span<std::uint8_t> piece(run, n);
                                             if (host.packed)
                                                 piece = packed = veltool::words_to_packed(piece);
                                             std::size_t drop = std::min(cut, piece.size());
                                             cut -= drop;
                                             return drop == piece.size() ||
                                                    take(piece.data() + drop, piece.size() - drop);
                                         });
        if (failed) veltool::fatal_transfer(*failed, "cannot seek disk image", "cannot read disk sector");
    });
}

bool Image::write(const std::string& host_path, Form form, const std::string& letters) {
    veltool::Image& image = state_->image;
    return guarded(image, [&] {
        require_change(state_->change, state_->image);
        Captured printed(image);
        std::int64_t written = 0;
        veltool::run_change(image, [&] {
            written = veltool::write_host_files(image,
                                                options_for(image, form_letter(form) + letters, {host_path}));
        });
        return written == 1;
    });
}

bool Image::write(const std::string& name, const std::vector<std::uint8_t>& bytes, Form form,
                  const std::string& letters) {
    std::optional<ScratchFile> file;
    guarded(state_->image, [&] {
        require_change(state_->change, state_->image);
        file.emplace(name, bytes);
    });
    return write(file->path(), form, letters);
}

bool Image::remove(const std::string& full_name, const std::string& letters) {
    veltool::Image& image = state_->image;
    return guarded(image, [&] {
        change_existing(image, state_->change, full_name, veltool::command_del,
                        options_for(image, letters, {exact_pattern(full_name)}));
        return veltool::find_file(image, full_name) == nullptr;
    });
}

bool Image::rename(const std::string& full_name, const std::string& new_name, const std::string& letters) {
    veltool::Image& image = state_->image;
    return guarded(image, [&] {
        change_existing(image, state_->change, full_name, veltool::command_ren,
                        options_for(image, letters, {exact_pattern(full_name), new_name}));
        std::string renamed = veltool::canonical_name(new_name);
        return veltool::find_file(image, renamed) != nullptr &&
               (renamed == full_name || veltool::find_file(image, full_name) == nullptr);
    });
}

std::string Image::run(const std::string& command, const std::vector<std::string>& words) {
    veltool::Image& image = state_->image;
    std::optional<Captured> printed;
    veltool::Options options;
    const veltool::Command* found = guarded(image, [&] {
        const veltool::Command* c = veltool::find_command(command);
        if (c == nullptr) veltool::fatal(0, "illegal command \"%s\"", command.c_str());
        options.command = command;
        veltool::parse_option_words(words, options);
        options.disk_image = image.path;
        if (c->use != veltool::ImageUse::reads) require_change(state_->change, state_->image);
        printed.emplace(image);
        return c;
    });
    veltool::run_command(image, *found, options);
    return printed->text();
}

const std::vector<KeepingReporter::Warning>& Image::warnings() const {
    return state_->keeping.warnings();
}

} // namespace veltra
