#include "veltool/files/read_files.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "veltool/files/file_walk.h"
#include "veltool/files/host_forms.h"
#include "veltool/image/directory.h"
#include "veltool/image/io.h"
#include "veltool/report.h"
#include "veltool/selection.h"
#include "veltool/state.h"

namespace veltool {

namespace {

// Copies the file (after its directory sector, or with it) into the host file on out.
void copy_out(const DirEntry& entry, HostForm form, int out) {
    auto [source, length] = source_range(entry.start, entry.size, form);
    std::int64_t written = 0;
    Byte buffer[SECTOR_BYTES];
    bool ended = false;
    while (length > 0 && !ended) {
        std::size_t n = static_cast<std::size_t>(std::min(length, SECTOR_BYTES));
        read_at(image_fd, source, buffer, n, "cannot seek disk image", "cannot read disk sector");
        source += static_cast<std::int64_t>(n);
        length -= static_cast<std::int64_t>(n);
        std::span<Byte> piece(buffer, n);
        if (form.text) piece = piece.first(text_to_host(piece, ended));
        if (piece.empty()) continue;
        std::vector<Byte> packed;
        if (form.packed) {
            packed = words_to_packed(piece);
            piece = packed;
        }
        write_at(out, written, piece.data(), piece.size(), "cannot seek file image",
                 "cannot write file sector");
        written += static_cast<std::int64_t>(piece.size());
    }
}

// One selected file with a sound directory sector: host file made, line printed, copied.
void read_file(const DirEntry& entry, const Options& options, HostForm form) {
    std::string host_name = options.host_file + entry.full_name + options.suffix;
    FileDescriptor out(create_host_file(host_name, "cannot create VELTRA file %s"));
    if (has_letter(options.letters, 'V'))
        std::printf("READING %-13s TO %s\n", entry.full_name.c_str(), host_name.c_str());
    copy_out(entry, form, out.get());
    close_host_file(out, "cannot write file sector");
}

} // namespace

void read_files(const Options& options) {
    HostForm form = host_form_of(options.letters);
    read_directory();
    Selection selection = selection_of(options, false);
    std::int64_t found = for_each_selected(selection, [&](DirEntry& entry) {
        if (!load_usable_sector(entry)) return warn_unusable_sector(entry);
        read_file(entry, options, form);
    });
    report_if_none_found(found, options, selection);
}

} // namespace veltool
