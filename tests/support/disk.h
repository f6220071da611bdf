// VELTRA disk images for tests: a builder with packing code of its own, a short text form of
// an image for table rows, and a scratch disk that the commands run on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "parmdump/tools/packing.h"
#include "tests/support/run.h"
#include "veltra/error.h"

namespace test {

using namespace packing;

constexpr std::uint32_t FILE_MAGIC = IDENTIFICATION; // a directory sector is a parameter sector
constexpr std::uint32_t DELETED_MAGIC = 017052376;
constexpr std::uint32_t REGULAR = 070000000; // file marker alone: type A, no letters
constexpr std::uint32_t X = 0100000, C = 0200000, P = 0400000, NOT_FILE = 01000000, I = 02000000,
                        R = 04000000;

// A file of the image: its directory entry, directory sector and data.
struct FileSpec {
    std::string name = "FILE"; // up to 8 characters
    std::string ext;           // up to 4
    std::string tag;           // up to 4
    std::int64_t words = 0;    // size in words
    std::uint32_t attributes = REGULAR;
    Bytes data; // data bytes from the start sector; the rest is zero
    std::int32_t load_address = 0;
    std::int32_t program_start = -1;
    std::int32_t user_info_address = -1;
    std::int32_t user_info_size = 0;
    std::uint32_t date = 0; // BCD date word, e.g. bcd3(24, 12, 99)
    std::string comment;
    std::uint32_t magic = FILE_MAGIC; // word 0 of the directory sector
    bool write_sector = true;         // false: the directory sector stays zero
    // Damage: words stored instead of the right ones.
    std::optional<std::int32_t> sector_size_word, entry_start, sector_start;
    Bytes sector_tail; // bytes 120-767 of the directory sector (user info area)
};

// A file NAME[.EXT] of `words` words with the given data and every other field at its default.
FileSpec named(const std::string& name, std::int64_t words, Bytes data = {});
// A file with data and a user area that differ from seed to seed.
FileSpec file_spec(const std::string& name, std::int64_t words, int seed = 0);
// Bytes that differ from sector to sector and from seed to seed.
Bytes pattern(std::size_t n, int seed);
// A directory sector (768 bytes) for a file starting at `start`.
Bytes directory_sector(const FileSpec& file_spec, std::int64_t start);
// `count` sectors of an image from sector n on.
Bytes sectors_of(const Bytes& bytes, std::int64_t n, std::int64_t count = 1);
// Today's date as a KAVOLT date word.
std::uint32_t today_word();
// The sectors of a TORGIL sample with its second parameter sector 3 (sector 4 of the file).
std::vector<Bytes> torgil_sectors();
// PROG.SAV of the listing tests, with every field of its directory sector set, and XRAY.TXT.
FileSpec listed_program();
FileSpec listed_text();

class ImageBuilder {
  public:
    // An image of `sectors` sectors with `blocks` directory blocks; the directory date is
    // the BCD word `date` (0: none).
    explicit ImageBuilder(std::int64_t sectors, std::int64_t blocks = 8, std::uint32_t date = 0);

    ImageBuilder& comment(const std::string& text) { return comment_ = text, *this; }
    ImageBuilder& default_partition_table() { return partition_table_ = true, *this; }
    ImageBuilder& file(const FileSpec& f) {
        return items_.push_back({Item::file, f, (f.words + 255) / 256, {}, {}}), *this;
    }
    // An EMPTY entry of n sectors (its directory sector not counted).
    ImageBuilder& empty(std::int64_t n) { return items_.push_back({Item::empty, {}, n, {}, {}}), *this; }
    // A deleted file whose directory sector lies `offset` sectors into the last EMPTY area.
    ImageBuilder& deleted(std::int64_t offset, FileSpec file_spec);
    // An entry of eight raw words; it occupies `sectors` + 1 sectors of the running start.
    ImageBuilder& raw_entry(const std::vector<std::int64_t>& words, std::int64_t sectors) {
        return items_.push_back({Item::raw, {}, sectors, words, {}}), *this;
    }
    // Without this, the space left before the disk end becomes one EMPTY entry.
    ImageBuilder& no_fill() { return fill_ = false, *this; }

    Bytes build() const;
    operator Bytes() const { return build(); }

  private:
    struct Item {
        enum Kind { file, empty, raw } kind;
        FileSpec file_spec;
        std::int64_t sectors = 0;
        std::vector<std::int64_t> words;
        std::vector<std::pair<std::int64_t, FileSpec>> deleted;
    };
    std::int64_t sectors_, blocks_;
    std::uint32_t date_;
    std::string comment_;
    bool partition_table_ = false, fill_ = true;
    std::vector<Item> items_;
};

// An image in a line: "SECTORS[/BLOCKS]" and then, in disk order, "-N" for an EMPTY entry of
// N sectors, "NAME[.EXT][$TAG]:WORDS[:FLAGS]" for a file with patterned data, "NAME*N" for N
// files NAME0, NAME1, ... of 0 words, and "~NAME:WORDS@OFFSET" for a deleted file inside the
// EMPTY entry before it. FLAGS: the
// letters P, X, C, R, I, N (not a file) and 0 (no file marker) in its attribute word;
// d (deleted), b (size word of its directory sector wrong), m (no directory sector).
ImageBuilder image(const std::string& text);

struct Disk {
    TempDir dir;
    std::string image = dir.file("disk.img");

    Disk() = default; // no image file yet
    explicit Disk(const Bytes& bytes) { write_file(image, bytes); }
    explicit Disk(const std::string& text) : Disk(test::image(text).build()) {}

    // Runs VEL<command> on the image.
    RunResult run(const std::string& command, std::vector<std::string> arguments) const;
    // The same with tests/support/io_shim.cpp preloaded: the image's locks, writes and flushes
    // are logged to trace(), and fail ("N:EIO", ...) makes the N-th write fail.
    // With `journal`, the writes and flushes of the image's journal are logged too ("jwrite",
    // "jflush"), and counted with the image's writes.
    RunResult traced(const std::string& command, std::vector<std::string> arguments,
                     const std::string& fail = "", bool journal = false) const;
    std::string trace() const;
    // The writes in trace(), the journal's included.
    std::size_t writes() const;
    Bytes bytes() const { return read_file(image); }
    // The first `length` bytes of sector n.
    Bytes sector(std::int64_t n, std::size_t length = SECTOR) const;
    // Word w of sector n, unsigned.
    std::uint32_t word(std::int64_t n, int w) const;
    // A host file beside the image; returns its path.
    std::string host(const std::string& name, const Bytes& content) const;
    // The arguments with "@" replaced by a host file of 134 sectors (100 KiB) beside the image.
    std::vector<std::string> with_host(std::vector<std::string> arguments) const;
    // The directory: "NAME.EXT$TAG start size-word" per file, "- start size-word" per EMPTY entry.
    std::string layout() const;
};

// The faults of the trace of a change (Disk::traced): an image write while journal writes before
// it are not flushed, a write of the directory (its first `blocks` blocks) while other writes are
// not, and a last write not flushed. "" when there is none.
std::string order_faults(const std::string& trace, std::int64_t blocks);

// Every command with arguments for an image that holds files A and B and, in free space, a
// deleted file D ("@": a host file, see Disk::with_host()); for one that changes the image, the
// start of the message a failed first write of the image ends it with.
struct Command {
    std::string command;
    std::vector<std::string> arguments;
    std::string failed_write = ""; // none: a reader
};
extern const std::vector<Command> COMMANDS;

// Exit status, standard output and standard error in one text: "status|out|err".
std::string outcome(const RunResult& r);

// One end-to-end case: the image (in a line, or built), the command and its arguments, the outcome and
// the directory afterwards ("" when not compared, "=" when the image must not change).
struct Row {
    struct Image {
        Bytes bytes;
        Image(const char* text) : bytes(test::image(text)) {}
        Image(const std::string& text) : bytes(test::image(text)) {}
        Image(const ImageBuilder& builder) : bytes(builder) {}
        Image(Bytes b) : bytes(std::move(b)) {}
    } image;
    std::string command;
    std::vector<std::string> arguments;
    std::string outcome;
    std::string layout;
};
void check_rows(const std::vector<Row>& rows);

// The text and errno of the veltra::Error that the call throws, "text|errno", or "(no error)".
template <class Call>
std::string error_of(Call&& call) {
    try {
        call();
    } catch (const veltra::Error& error) {
        return std::string(error.what()) + "|" + std::to_string(error.errnum());
    }
    return "(no error)";
}

} // namespace test
