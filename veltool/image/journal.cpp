#include "veltool/image/journal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "veltool/image/layout.h"
#include "veltra/error.h"

namespace veltool {

namespace {

constexpr std::uint8_t FILE_MAGIC[8] = {'V', 'E', 'L', 'J', 'R', 'N', 'L', 1};
constexpr std::size_t HEADER_BYTES = 48;          // magic, device, inode, size, nonce, checksum
constexpr std::uint32_t BATCH_MAGIC = 0x48435442; // "BTCH"
constexpr std::size_t BATCH_BYTES = 32;           // magic, count, payload bytes, records' checksum, checksum
constexpr std::size_t RECORD_BYTES = 24;          // offset, length, checksum
// The sectors one batch records from the first one a write needs on (about 4 MiB), and the
// most one record holds: writes in ascending order share a synchronisation.
constexpr std::int64_t BATCH_SECTORS = 4 * 1365;

void put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t get64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

std::uint64_t rotate(std::uint64_t v, int bits) {
    return v << bits | v >> (64 - bits);
}

std::uint64_t finish(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 33);
}

[[noreturn]] void fail(int errnum, const std::string& text) {
    throw veltra::Error(text, errnum);
}

bool all_zero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// Writes all n bytes at offset; errno of the failing call, or 0.
int write_fully(int fd, const std::uint8_t* bytes, std::size_t n, std::int64_t offset) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t put =
            pwrite(fd, bytes + done, n - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? errno : EIO;
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

// Reads up to n bytes at offset, fewer only at the end of the file; -1 with errno on error.
std::int64_t read_fully(int fd, std::uint8_t* bytes, std::size_t n, std::int64_t offset) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t got =
            pread(fd, bytes + done, n - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

int sync_data(int fd) {
    while (fdatasync(fd) != 0) {
        if (errno == EINTR) continue;
        if (errno == EINVAL || errno == EROFS) return 0; // a file that cannot be synchronised
        return errno;
    }
    return 0;
}

std::vector<std::uint8_t> header_bytes(const JournalIdentity& image, std::uint64_t nonce) {
    std::vector<std::uint8_t> out(FILE_MAGIC, FILE_MAGIC + sizeof FILE_MAGIC);
    put64(out, image.device);
    put64(out, image.inode);
    put64(out, image.size);
    put64(out, nonce);
    put64(out, journal_checksum(out.data(), out.size(), 0));
    return out;
}

// Adds [first, end) to a map of disjoint ranges, merging neighbours.
void add_range(std::map<std::int64_t, std::int64_t>& ranges, std::int64_t first, std::int64_t end) {
    if (first >= end) return;
    auto it = ranges.upper_bound(first);
    if (it != ranges.begin()) {
        auto before = std::prev(it);
        if (before->second >= first) {
            first = before->first;
            end = std::max(end, before->second);
            it = ranges.erase(before);
        }
    }
    while (it != ranges.end() && it->first <= end) {
        end = std::max(end, it->second);
        it = ranges.erase(it);
    }
    ranges.emplace(first, end);
}

// [first, end) less the ranges of the map, in ascending order.
std::vector<std::pair<std::int64_t, std::int64_t>>
subtract(std::vector<std::pair<std::int64_t, std::int64_t>> parts,
         const std::map<std::int64_t, std::int64_t>& ranges) {
    std::vector<std::pair<std::int64_t, std::int64_t>> left;
    for (auto [first, end] : parts) {
        auto it = ranges.upper_bound(first);
        if (it != ranges.begin()) --it;
        for (; it != ranges.end() && it->first < end && first < end; ++it) {
            if (it->second <= first) continue;
            if (it->first > first) left.emplace_back(first, it->first);
            first = std::max(first, it->second);
        }
        if (first < end) left.emplace_back(first, end);
    }
    return left;
}

// Removes the journal file and makes the removal durable.
void remove_journal(const std::string& path) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT) fail(errno, "cannot remove journal " + path);
    int error = sync_folder(folder_of(path));
    if (error != 0) fail(error, "cannot remove journal " + path);
}

} // namespace

std::uint64_t journal_checksum(const std::uint8_t* bytes, std::size_t n, std::uint64_t seed) {
    constexpr std::uint64_t P1 = 0x9E3779B185EBCA87ULL, P2 = 0xC2B2AE3D27D4EB4FULL;
    std::uint64_t lane[4] = {seed + P1, seed ^ P2, rotate(seed, 17) + 1, ~seed};
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        for (int k = 0; k < 4; ++k) {
            std::uint64_t w;
            std::memcpy(&w, bytes + i + 8 * k, 8);
            lane[k] = rotate(lane[k] + w * P2, 31) * P1;
        }
    }
    std::uint64_t h = rotate(lane[0], 1) + rotate(lane[1], 7) + rotate(lane[2], 12) + rotate(lane[3], 18) + n;
    for (; i < n; ++i)
        h = rotate(h ^ (bytes[i] * P1), 11) * P2;
    return finish(h);
}

std::string journal_path(const std::string& image_path) {
    return image_path + JOURNAL_SUFFIX;
}

bool journal_switched_off() {
    const char* value = std::getenv(NO_JOURNAL_VARIABLE);
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

bool identity_of(int fd, JournalIdentity& identity) {
    struct stat status {};
    if (fstat(fd, &status) != 0) return false;
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.inode = static_cast<std::uint64_t>(status.st_ino);
    identity.size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int sync_folder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = fsync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
    close(fd);
    return error;
}

JournalContents read_journal(std::span<const std::uint8_t> journal, const JournalIdentity& image) {
    JournalContents contents;
    using State = JournalContents::State;
    if (journal.size() < HEADER_BYTES) return contents; // cut short while it was being made
    const std::uint8_t* h = journal.data();
    bool header_sound =
        std::memcmp(h, FILE_MAGIC, sizeof FILE_MAGIC) == 0 && get64(h + 40) == journal_checksum(h, 40, 0);
    if (!header_sound) {
        // A header is synchronised before any record is written: with nothing after it, it was
        // being made when the process stopped.
        contents.state = journal.size() == HEADER_BYTES || all_zero(journal) ? State::empty : State::damaged;
        return contents;
    }
    contents.image = {get64(h + 8), get64(h + 16), get64(h + 24)};
    std::uint64_t nonce = get64(h + 32);
    if (contents.image.device != image.device || contents.image.inode != image.inode) {
        contents.state = State::foreign;
        return contents;
    }
    auto batch_header_at = [&](std::size_t p) {
        const std::uint8_t* b = journal.data() + p;
        return (get64(b) & 0xffffffffu) == BATCH_MAGIC && get64(b + 24) == journal_checksum(b, 24, nonce);
    };
    // A batch that fails was being written when the process stopped, when no sound batch
    // follows it: only the last write can be torn, since each batch is synchronised before the
    // next is begun. Its image bytes were never overwritten, so it is left out. A failing batch
    // with a sound one behind it is damage.
    auto failed_at = [&](std::size_t at) {
        for (std::size_t p = at + 1; p + BATCH_BYTES <= journal.size(); ++p) {
            if (batch_header_at(p)) {
                contents.state = State::damaged;
                contents.records.clear();
                return contents;
            }
        }
        contents.state = State::usable;
        return contents;
    };
    std::size_t at = HEADER_BYTES;
    while (at < journal.size()) {
        std::size_t first_record = contents.records.size();
        if (journal.size() - at < BATCH_BYTES || !batch_header_at(at)) return failed_at(at);
        const std::uint8_t* b = journal.data() + at;
        std::uint64_t count = get64(b) >> 32;
        std::uint64_t payload = get64(b + 8);
        if (payload > journal.size() - at - BATCH_BYTES) return failed_at(at);
        std::size_t batch_end = at + BATCH_BYTES + static_cast<std::size_t>(payload);
        std::vector<std::uint8_t> sums;
        std::size_t r = at + BATCH_BYTES;
        bool sound = true;
        for (std::uint64_t k = 0; k < count && sound; ++k) {
            if (batch_end - r < RECORD_BYTES) {
                sound = false;
                break;
            }
            const std::uint8_t* p = journal.data() + r;
            std::uint64_t length = get64(p + 8);
            if (length > batch_end - r - RECORD_BYTES || get64(p) > (std::uint64_t{1} << 62)) {
                sound = false;
                break;
            }
            std::uint64_t sum = journal_checksum(p + RECORD_BYTES, static_cast<std::size_t>(length),
                                                 nonce ^ journal_checksum(p, 16, nonce));
            if (get64(p + 16) != sum) {
                sound = false;
                break;
            }
            put64(sums, sum);
            contents.records.push_back(
                {static_cast<std::int64_t>(get64(p)),
                 std::vector<std::uint8_t>(p + RECORD_BYTES,
                                           p + RECORD_BYTES + static_cast<std::size_t>(length))});
            r += RECORD_BYTES + static_cast<std::size_t>(length);
        }
        if (!sound || r != batch_end || get64(b + 16) != journal_checksum(sums.data(), sums.size(), nonce)) {
            contents.records.resize(first_record);
            return failed_at(at);
        }
        at = batch_end;
    }
    contents.state = State::usable;
    return contents;
}

Journal::Journal(std::string image_path, int image_fd)
    : image_path_(std::move(image_path)), path_(journal_path(image_path_)), image_fd_(image_fd) {
    if (!identity_of(image_fd_, identity_)) identity_ = {};
}

void Journal::exempt(std::int64_t first, std::int64_t count) {
    if (count > 0) add_range(exempt_, std::max<std::int64_t>(first, 0), first + count);
}

void Journal::create() {
    std::string folder = folder_of(path_);
    if (getrandom(&nonce_, sizeof nonce_, 0) != static_cast<ssize_t>(sizeof nonce_))
        nonce_ = identity_.inode * 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(getpid());
    kavolt::FileDescriptor fd(open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.is_open()) fail(errno, "cannot create journal in folder " + folder);
    std::vector<std::uint8_t> header = header_bytes(identity_, nonce_);
    int error = write_fully(fd.get(), header.data(), header.size(), 0);
    if (error == 0) error = sync_data(fd.get());
    if (error == 0) error = sync_folder(folder);
    if (error != 0) {
        unlink(path_.c_str());
        fail(error, "cannot create journal in folder " + folder);
    }
    file_ = std::move(fd);
    end_ = static_cast<std::int64_t>(header.size());
}

std::vector<std::pair<std::int64_t, std::int64_t>> Journal::missing(std::int64_t first, std::int64_t end,
                                                                    bool always) const {
    std::int64_t size_sectors = static_cast<std::int64_t>((identity_.size + SECTOR_BYTES - 1) / SECTOR_BYTES);
    end = std::min(end, size_sectors); // bytes past the old end need no record: the image is cut back
    if (first >= end) return {};
    auto parts = subtract({{first, end}}, recorded_);
    return always ? parts : subtract(parts, exempt_);
}

void Journal::before_write(std::int64_t offset, std::int64_t n, bool always) {
    if (n <= 0 || offset < 0) return;
    std::int64_t first = offset / SECTOR_BYTES;
    std::int64_t end = (offset + n + SECTOR_BYTES - 1) / SECTOR_BYTES;
    auto needed = missing(first, end, always);
    if (needed.empty()) return;
    // What the write needs, then what lies ahead of it, up to the batch's bound.
    std::int64_t from = needed.front().first;
    std::int64_t until = std::max(end, from + BATCH_SECTORS);
    auto parts = missing(first, until, false);
    if (always) {
        parts = needed;
        for (auto part : missing(end, until, false))
            parts.push_back(part);
    }
    append_batch(parts, {});
}

void Journal::before_writes(std::span<const std::pair<std::int64_t, std::int64_t>> ranges,
                            std::span<const HeldBytes> held) {
    std::map<std::int64_t, std::int64_t> wanted;
    for (auto [offset, n] : ranges)
        if (n > 0 && offset >= 0)
            add_range(wanted, offset / SECTOR_BYTES, (offset + n + SECTOR_BYTES - 1) / SECTOR_BYTES);
    std::vector<std::pair<std::int64_t, std::int64_t>> parts;
    for (auto [first, end] : wanted)
        for (auto part : missing(first, end, false))
            parts.push_back(part);
    if (!parts.empty()) append_batch(parts, held);
}

std::int64_t Journal::old_bytes(std::int64_t first, std::int64_t count, std::uint8_t* old,
                                std::span<const HeldBytes> held) const {
    std::int64_t offset = first * SECTOR_BYTES, n = count * SECTOR_BYTES;
    auto piece = std::upper_bound(held.begin(), held.end(), offset,
                                  [](std::int64_t at, const HeldBytes& h) { return at < h.offset; });
    if (piece != held.begin() && offset + n <= static_cast<std::int64_t>(identity_.size)) {
        --piece;
        if (offset + n <= piece->offset + static_cast<std::int64_t>(piece->bytes.size())) {
            std::memcpy(old, piece->bytes.data() + (offset - piece->offset), static_cast<std::size_t>(n));
            return n;
        }
    }
    std::int64_t got = read_fully(image_fd_, old, static_cast<std::size_t>(n), offset);
    if (got < 0) fail(errno, "cannot read disk image for journal " + path_);
    return got;
}

void Journal::append_batch(const std::vector<std::pair<std::int64_t, std::int64_t>>& parts,
                           std::span<const HeldBytes> held) {
    if (!created()) create();
    // The batch is made in one buffer kept from batch to batch, the old bytes put straight
    // into their place in it.
    std::vector<std::uint8_t>& batch = batch_;
    std::size_t largest = BATCH_BYTES;
    for (auto [a, b] : parts)
        largest += static_cast<std::size_t>((b - a + BATCH_SECTORS - 1) / BATCH_SECTORS * RECORD_BYTES +
                                            (b - a) * SECTOR_BYTES);
    batch.reserve(largest);
    batch.assign(BATCH_BYTES, 0);
    std::vector<std::uint8_t> sums;
    std::uint64_t count = 0;
    for (auto [a, b] : parts) {
        for (std::int64_t s = a; s < b;) {
            std::int64_t take = std::min(b - s, BATCH_SECTORS);
            std::size_t at = batch.size();
            batch.resize(at + RECORD_BYTES + static_cast<std::size_t>(take * SECTOR_BYTES));
            std::int64_t got = old_bytes(s, take, batch.data() + at + RECORD_BYTES, held);
            batch.resize(at + RECORD_BYTES + static_cast<std::size_t>(got));
            const std::uint8_t* old = batch.data() + at + RECORD_BYTES;
            std::vector<std::uint8_t> head;
            put64(head, static_cast<std::uint64_t>(s * SECTOR_BYTES));
            put64(head, static_cast<std::uint64_t>(got));
            std::uint64_t sum = journal_checksum(old, static_cast<std::size_t>(got),
                                                 nonce_ ^ journal_checksum(head.data(), 16, nonce_));
            put64(head, sum);
            put64(sums, sum);
            std::copy(head.begin(), head.end(), batch.begin() + static_cast<std::ptrdiff_t>(at));
            ++count;
            s += take;
        }
    }
    std::vector<std::uint8_t> top;
    put64(top, count << 32 | BATCH_MAGIC);
    put64(top, batch.size() - BATCH_BYTES);
    put64(top, journal_checksum(sums.data(), sums.size(), nonce_));
    put64(top, journal_checksum(top.data(), 24, nonce_));
    std::copy(top.begin(), top.end(), batch.begin());
    int error = write_fully(file_.get(), batch.data(), batch.size(), end_);
    if (error != 0) fail(error, "cannot write journal " + path_);
    error = sync_data(file_.get());
    if (error != 0) fail(error, "cannot flush journal " + path_);
    end_ += static_cast<std::int64_t>(batch.size());
    for (auto [a, b] : parts)
        add_range(recorded_, a, b);
}

void Journal::commit() {
    if (!created()) return;
    file_.close();
    remove_journal(path_);
}

void play_back(const JournalContents& contents, int image_fd) {
    for (auto record = contents.records.rbegin(); record != contents.records.rend(); ++record) {
        int error = write_fully(image_fd, record->bytes.data(), record->bytes.size(), record->offset);
        if (error != 0) fail(error, "cannot roll back disk image");
    }
    struct stat status {};
    if (fstat(image_fd, &status) != 0) fail(errno, "cannot roll back disk image");
    if (static_cast<std::uint64_t>(status.st_size) > contents.image.size &&
        ftruncate(image_fd, static_cast<off_t>(contents.image.size)) != 0)
        fail(errno, "cannot roll back disk image");
    int error = sync_data(image_fd);
    if (error != 0) fail(error, "cannot roll back disk image");
}

bool journal_exists(const std::string& image_path) {
    struct stat status {};
    return lstat(journal_path(image_path).c_str(), &status) == 0;
}

bool roll_back_left_journal(const std::string& image_path, int image_fd, bool writable, int open_error) {
    std::string path = journal_path(image_path);
    kavolt::FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.is_open()) {
        if (errno == ENOENT) return false; // another program played it back meanwhile
        fail(errno, "cannot read journal " + path);
    }
    if (!writable)
        fail(open_error,
             "disk image " + image_path + " has the journal of an interrupted change and cannot be written");
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        std::int64_t got = read_fully(fd.get(), chunk, sizeof chunk, static_cast<std::int64_t>(bytes.size()));
        if (got < 0) fail(errno, "cannot read journal " + path);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < static_cast<std::int64_t>(sizeof chunk)) break;
    }
    JournalIdentity image;
    if (!identity_of(image_fd, image)) fail(errno, "cannot read journal " + path);
    JournalContents contents = read_journal(bytes, image);
    using State = JournalContents::State;
    if (contents.state == State::foreign)
        fail(0, "journal " + path + " belongs to another disk image: image and journal left as they are");
    if (contents.state == State::damaged)
        fail(0, "journal " + path + " is damaged: image and journal left as they are");
    bool played = !contents.records.empty();
    if (played) play_back(contents, image_fd);
    fd.close();
    remove_journal(path);
    return played;
}

void discard_journal(const std::string& image_path) {
    if (journal_exists(image_path)) remove_journal(journal_path(image_path));
}

} // namespace veltool
