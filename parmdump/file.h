// Host files of parmdump: opening, whole reads and the parts of a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/file_descriptor.h"

namespace parmdump {

using kavolt::FileDescriptor;

// Opens name read-only; not open on failure, with errno set.
FileDescriptor open_file(const std::string& name);

// How a read went: the bytes that arrived and the system error that stopped it (0 when the
// file simply ended).
struct ReadResult {
    std::size_t count = 0;
    int error = 0;
};

// Reads up to n bytes, stopping early only at the end of the file or on an error.
ReadResult read_fully(int fd, void* buffer, std::size_t n);

// The system's text for a read that brought fewer bytes than asked for.
std::string short_read_text(const ReadResult& result);

// A path split at its last "/": the directory part ("." when there is no "/") and the name.
struct PathParts {
    std::string directory;
    std::string base;
};
PathParts split_path(const std::string& path);

} // namespace parmdump
