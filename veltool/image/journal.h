// The rollback journal of a changing command: before the command first overwrites bytes of
// the image as it was when the command began, those old bytes go to a journal file beside
// the image and reach stable storage. When the command's last write is on stable storage the
// journal is removed. A journal found later (no program holds the image's lock) belongs to a
// change that was interrupted: it is played back, and the image is again exactly what it was
// before that change.
//
// The journal file: a header naming the image (device, inode, size before the change) with a
// random nonce, then batches of records. A batch is written and synchronised in one go before
// any image byte it covers is overwritten; each record holds an offset, a length, the old bytes
// and a checksum, and each batch a checksum over its records. Every checksum is seeded with the
// nonce, so bytes of another journal never pass. A batch cut short or damaged at the end of the
// file was being written when the process stopped: none of the image bytes it covers had been
// overwritten, and it is ignored. Damage anywhere before the last batch means the journal
// cannot be trusted, and it is never played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "common/file_descriptor.h"

namespace veltool {

// The journal of image.img is image.img.journal.
constexpr const char* JOURNAL_SUFFIX = ".journal";
// Set (to anything but "0" or empty) to change images without a journal.
constexpr const char* NO_JOURNAL_VARIABLE = "VELTOOL_NO_JOURNAL";

std::string journal_path(const std::string& image_path);
// True when the environment asks for changes without a journal.
bool journal_switched_off();

// What tells an image file from another: its device and inode, and its size in bytes.
struct JournalIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
};
// The identity of the file open on fd; errno is set and false returned when fstat fails.
bool identity_of(int fd, JournalIdentity& identity);

// Old bytes of the image at an offset.
struct JournalRecord {
    std::int64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

// Bytes of the image that a change read before it wrote any of them: bytes[0] is the image's
// byte at `offset`. A change may hold several such pieces, in ascending order.
struct HeldBytes {
    std::int64_t offset = 0;
    std::span<const std::uint8_t> bytes;
};

// What a journal holds once checked.
struct JournalContents {
    enum class State {
        empty,   // a header cut short or no record: nothing was overwritten
        usable,  // header and every complete batch check; the records are to be played
        foreign, // the journal of another image (or another file at this place)
        damaged, // a header or a batch before the last fails its checksum
    } state = State::empty;
    JournalIdentity image; // from the header (usable and foreign)
    std::vector<JournalRecord> records;
};

// Checks and takes apart the bytes of a journal for the image with identity `image` (only
// device and inode are compared). Never trusts a length or count it reads.
JournalContents read_journal(std::span<const std::uint8_t> journal, const JournalIdentity& image);

// The journal of one change of an open image. Not copyable; created lazily by the first
// write that needs it.
class Journal {
  public:
    // Starts the journal of a change of the image open on image_fd (named image_path) whose
    // state before the change is what the descriptor holds now. Nothing is created yet.
    Journal(std::string image_path, int image_fd);
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Sectors [first, first + count) held no data before the change (EMPTY areas): writes to
    // them need no record.
    void exempt(std::int64_t first, std::int64_t count);
    // Records the old bytes of every sector of [offset, offset + n) that is neither exempt nor
    // recorded, with some sectors beyond in the same batch so that writes in ascending order
    // share a synchronisation, and brings them onto stable storage. With `always`, exempt
    // sectors are recorded too (a deleted file's directory sector that is to be revived).
    // Throws veltra::Error when the journal cannot be made or written; the image is then
    // untouched by the write that asked.
    void before_write(std::int64_t offset, std::int64_t n, bool always = false);
    // Records in one synchronised batch the old bytes of every sector of the byte ranges
    // (offset, length) that is neither exempt nor recorded, and of nothing beyond them: for a
    // change that knows all it is about to write. A record that one of the pieces `held` holds
    // whole is taken from there instead of being read again. Throws as before_write.
    void before_writes(std::span<const std::pair<std::int64_t, std::int64_t>> ranges,
                       std::span<const HeldBytes> held);
    // The change is complete and the image is on stable storage: removes the journal, and makes
    // the removal durable. Throws veltra::Error when that fails.
    void commit();
    // True once a journal file exists for this change.
    bool created() const { return file_.is_open(); }
    const std::string& path() const { return path_; }

  private:
    void create();
    // Writes and synchronises one batch of the old bytes of the sector ranges, and notes them
    // recorded.
    void append_batch(const std::vector<std::pair<std::int64_t, std::int64_t>>& parts,
                      std::span<const HeldBytes> held);
    // Puts the old bytes of sectors [first, first + count) into `old`; the bytes there are fewer
    // only at the end of the image.
    std::int64_t old_bytes(std::int64_t first, std::int64_t count, std::uint8_t* old,
                           std::span<const HeldBytes> held) const;
    // Sector ranges [first, end) in `ranges` met by [first, end), clipped.
    std::vector<std::pair<std::int64_t, std::int64_t>> missing(std::int64_t first, std::int64_t end,
                                                               bool always) const;

    std::string image_path_;
    std::string path_;
    int image_fd_;
    JournalIdentity identity_{};
    std::uint64_t nonce_ = 0;
    kavolt::FileDescriptor file_;
    std::int64_t end_ = 0;                          // bytes of the journal file written
    std::map<std::int64_t, std::int64_t> recorded_; // sector ranges first -> end
    std::map<std::int64_t, std::int64_t> exempt_;   // sector ranges first -> end
    std::vector<std::uint8_t> batch_;               // the batch being made, kept for the next
};

// Plays the checked records back onto the image open on image_fd (in reverse order), cuts the
// image back to its size before the change, and synchronises it. Throws veltra::Error.
void play_back(const JournalContents& contents, int image_fd);

// True when a journal file lies beside the image.
bool journal_exists(const std::string& image_path);
// Under the exclusive lock: a journal left beside the image is checked, played back onto the
// image open on image_fd, and removed; true when it was. A journal that holds nothing to play is
// removed silently. Throws veltra::Error, leaving image and journal as they are, when the journal
// belongs to another image or is damaged, or when the image was opened only for reading
// (`writable` false; `open_error` is why it could not be opened for writing).
bool roll_back_left_journal(const std::string& image_path, int image_fd, bool writable, int open_error);

// Removes a journal left beside the image, durably: for a change that replaces the whole image.
void discard_journal(const std::string& image_path);

// The folder of a path.
std::string folder_of(const std::string& path);
// Synchronises the folder so that a file created or removed in it stays so; 0 or errno.
int sync_folder(const std::string& folder);

// The checksum of the journal: 64 bits over bytes, seeded.
std::uint64_t journal_checksum(const std::uint8_t* bytes, std::size_t n, std::uint64_t seed);

} // namespace veltool
