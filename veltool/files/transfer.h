// rea and wri as the library uses them: one file's host form handed over in runs, and the
// host files written into the image with a count of those that were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "veltool/files/host_forms.h"
#include "veltool/image/image.h"
#include "veltool/options.h"

namespace veltool {

// Hands the bytes that rea writes for the file in the form to take(run, n), a run at a time,
// until they end or take returns false; the file's directory sector must be loaded. A run
// of the image that cannot be read is fatal once take wants it.
void read_host_form(Image& image, const DirEntry& entry, HostForm form,
                    const std::function<bool(const Byte*, std::size_t)>& take);

// What wri does with the options: returns how many of the host files were written.
std::int64_t write_host_files(Image& image, const Options& options);

} // namespace veltool
