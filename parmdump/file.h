// The files parmdump reads: host files, or bytes held in memory under a name; whole reads
// and the parts of a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "common/file_descriptor.h"

namespace parmdump {

using kavolt::FileDescriptor;

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

// An open file, read from its current place on.
class InputFile {
  public:
    virtual ~InputFile() = default;
    // Moves to byte `offset`; returns 0, or the system error number.
    virtual int seek(std::int64_t offset) = 0;
    // Reads up to n bytes, stopping early only at the end of the file or on an error.
    virtual ReadResult read(void* buffer, std::size_t n) = 0;
};

// Where files are opened by name.
class FileSource {
  public:
    virtual ~FileSource() = default;
    // The file of that name, or nullptr with the system error number in `error`.
    virtual std::unique_ptr<InputFile> open(const std::string& name, int& error) const = 0;
};

// The host's files, opened read-only.
class HostFiles : public FileSource {
  public:
    std::unique_ptr<InputFile> open(const std::string& name, int& error) const override;
};

// Bytes held by the caller, each under a name; other names do not exist.
class MemoryFiles : public FileSource {
  public:
    // Adds bytes under a name; they must outlive this object.
    void add(const std::string& name, std::span<const std::uint8_t> bytes) { files_[name] = bytes; }
    std::unique_ptr<InputFile> open(const std::string& name, int& error) const override;

  private:
    std::map<std::string, std::span<const std::uint8_t>> files_;
};

// A path split at its last "/": the directory part ("." when there is no "/") and the name.
struct PathParts {
    std::string directory;
    std::string base;
};
PathParts split_path(const std::string& path);

} // namespace parmdump
