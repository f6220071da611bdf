// rea: copies files of the disk image into host files, one host file per file.
#include "veltool/commands.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>

#include "veltool/files/file_walk.h"
#include "veltool/files/host_forms.h"
#include "veltool/files/transfer.h"
#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/report.h"
#include "veltool/selection.h"

namespace veltool {

namespace {

constexpr const char* SEEK_IMAGE = "cannot seek disk image";
constexpr const char* READ_IMAGE = "cannot read disk sector";
constexpr const char* SEEK_HOST = "cannot seek file image";
constexpr const char* WRITE_HOST = "cannot write file sector";

// Copies the file (after its directory sector, or with it) into the host file on out: as it
// is in the kernel, else converted a run at a time.
void copy_out(Image& image, const DirEntry& entry, HostForm form, int out) {
    if (form.text || form.packed) {
        std::int64_t written = 0;
        read_host_form(image, entry, form, [&](const Byte* piece, std::size_t n) {
            write_at(out, written, piece, n, SEEK_HOST, WRITE_HOST);
            written += static_cast<std::int64_t>(n);
            return true;
        });
        return;
    }
    auto [source, length] = source_range(entry.start, entry.size, form);
    std::optional<Transfer> failed = copy_run(CopyEnd{image.fd(), source, SEEK_IMAGE, READ_IMAGE},
                                              CopyEnd{out, 0, SEEK_HOST, WRITE_HOST}, length);
    if (failed) fatal_transfer(*failed, SEEK_IMAGE, READ_IMAGE);
}

// One selected file with a sound directory sector: host file made, line printed, copied.
void read_file(Image& image, const DirEntry& entry, const Options& options, HostForm form) {
    std::string host_name = options.host_file + entry.full_name + options.suffix;
    FileDescriptor out = create_host_file(host_name, "cannot create VELTRA file %s");
    if (has_letter(options.letters, 'V'))
        std::fprintf(image.out, "READING %-13s TO %s\n", entry.full_name.c_str(), host_name.c_str());
    copy_out(image, entry, form, out.get());
    close_host_file(out, "cannot write file sector");
}

} // namespace

void read_host_form(Image& image, const DirEntry& entry, HostForm form,
                    const std::function<bool(const Byte*, std::size_t)>& take) {
    auto [source, length] = source_range(entry.start, entry.size, form);
    std::vector<Byte> packed;
    std::optional<Transfer> failed = read_runs(image.fd(), source, length, [&](Byte* run, std::size_t n) {
        bool ended = false;
        std::span<Byte> piece(run, n);
        if (form.text) piece = piece.first(text_to_host(piece, ended));
        if (form.packed) {
            packed = words_to_packed(piece);
            piece = packed;
        }
        if (!piece.empty() && !take(piece.data(), piece.size())) return false;
        return !ended;
    });
    if (failed) fatal_transfer(*failed, SEEK_IMAGE, READ_IMAGE);
}

void command_rea(Image& image, const Options& options) {
    HostForm form = host_form_of(options.letters);
    read_directory(image);
    Selection selection = selection_of(options, false);
    std::int64_t found = for_each_selected(image, selection, [&](DirEntry& entry) {
        if (!load_usable_sector(image, entry)) return warn_unusable_sector(image, entry);
        // A damaged or hostile name must not lead the host file out of its folder.
        if (!usable_host_name(entry.full_name)) {
            warn(image, 0, "ILLEGAL OUTPUT FILENAME: %s", entry.full_name.c_str());
            return;
        }
        read_file(image, entry, options, form);
    });
    report_if_none_found(image, found, options, selection);
}

} // namespace veltool
