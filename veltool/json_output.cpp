#include "veltool/json_output.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <nlohmann/json.hpp>
#include <string_view>
#include <type_traits>

#include "veltool/files/host_forms.h"
#include "veltool/image/directory.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// Keys in the order of the text.
using Json = nlohmann::ordered_json;

// A date in ISO 8601 with the offset of the local time zone, in which the text shows it;
// null for no date (0).
Json iso_date(std::time_t t) {
    std::tm calendar{};
    if (t == 0 || localtime_r(&t, &calendar) == nullptr) return nullptr;
    char text[64];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &calendar);
    std::string iso(text, n);
    if (iso.size() >= 5) iso.insert(iso.size() - 2, ":"); // +hhmm becomes +hh:mm
    return iso;
}

// The document's head: the command and the image it ran on.
Json document(const Image& image, const char* command) {
    Json doc = Json::object();
    doc["command"] = command;
    doc["image"] = image.path;
    return doc;
}

std::string dumped(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Standard output in large blocks: what the serializer writes and the text around it.
class Blocks final : public nlohmann::detail::output_adapter_protocol<char> {
  public:
    explicit Blocks(std::FILE* out) : out_(out) {}
    Blocks(const Blocks&) = delete;
    Blocks& operator=(const Blocks&) = delete;
    ~Blocks() override { flush(); }

    void write_character(char c) override { put(c); }
    void write_characters(const char* s, std::size_t n) override { put(s, n); }
    void put(char c) {
        if (used_ == SIZE) flush();
        buffer_[used_++] = c;
    }
    void put(const char* s, std::size_t n) {
        if (n > SIZE - used_) [[unlikely]] {
            flush();
            if (n > SIZE) {
                std::fwrite(s, 1, n, out_);
                return;
            }
        }
        std::memcpy(buffer_.get() + used_, s, n);
        used_ += n;
    }
    void put(std::string_view text) { put(text.data(), text.size()); }
    // Room for n bytes (at most a block) that the caller fills.
    char* room(std::size_t n) {
        if (n > SIZE - used_) [[unlikely]]
            flush();
        char* at = buffer_.get() + used_;
        used_ += n;
        return at;
    }
    void flush() {
        std::fwrite(buffer_.get(), 1, used_, out_);
        used_ = 0;
    }

  private:
    static constexpr std::size_t SIZE = std::size_t{1} << 16;
    std::FILE* out_;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(SIZE);
    std::size_t used_ = 0;
};

// A document printed as it is made: its head, then the items of one list one at a time (a
// listing of thousands of files is never held as a whole), then its tail. The items are
// written member by member: their keys as the text they are, their values by the library's
// serializer.
class JsonStream {
  public:
    // separator: what comes before each item after the list's "[" or the item's ",".
    JsonStream(std::FILE* out, std::string_view separator)
        : blocks_(std::make_shared<Blocks>(out)), out_(*blocks_), separator_(separator),
          serializer_(blocks_, ' ', Json::error_handler_t::replace) {}

    // The head's members, and the list's key.
    void begin(const Json& head, std::string_view key) {
        std::string text = dumped(head);
        text.back() = ',';
        out_.put(text);
        out_.put('"');
        out_.put(key);
        out_.put("\":[");
    }
    // An item: its members, then item_end().
    void item() {
        if (any_) out_.put(',');
        any_ = true;
        out_.put(separator_);
        out_.put('{');
        first_ = true;
    }
    void item_end() { out_.put('}'); }
    // A member's key; then one value, or the members of an object up to close().
    template <std::size_t N>
    JsonStream& key(const char (&name)[N]) {
        char* at = out_.room(N + 3 - first_); // ,"name":
        if (!first_) *at++ = ',';
        first_ = false;
        *at = '"';
        std::memcpy(at + 1, name, N - 1);
        at[N] = '"';
        at[N + 1] = ':';
        return *this;
    }
    template <std::size_t N>
    void open(const char (&name)[N]) {
        key(name).out_.put('{');
        first_ = true;
    }
    void close() { out_.put('}'); }

    template <class T>
    void value(const T& number) {
        if constexpr (std::is_same_v<T, bool>) {
            out_.put(number ? "true" : "false");
        } else if constexpr (std::is_signed_v<T>) {
            static_assert(std::is_integral_v<T>);
            signed_.get_ref<Json::number_integer_t&>() = number;
            serializer_.dump(signed_, false, false, 0);
        } else {
            unsigned_.get_ref<Json::number_unsigned_t&>() = number;
            serializer_.dump(unsigned_, false, false, 0);
        }
    }
    void value(const std::string& text) {
        string_.get_ref<std::string&>() = text;
        serializer_.dump(string_, false, false, 0);
    }
    void value(std::nullptr_t) { out_.put("null"); }
    // A value's JSON text as it is.
    void text(std::string_view json) { out_.put(json); }

    template <std::size_t N, class T>
    void member(const char (&name)[N], const T& v) {
        key(name).value(v);
    }
    // A member that is null unless it is shown.
    template <std::size_t N, class T>
    void member(const char (&name)[N], bool shown, const T& v) {
        if (shown)
            member(name, v);
        else
            member(name, nullptr);
    }

    // The list's end and the tail's members.
    void end(const Json& tail) {
        if (any_) out_.put(separator_);
        out_.put("],");
        out_.put(std::string_view(dumped(tail)).substr(1));
        out_.put('\n');
        out_.flush();
    }

  private:
    std::shared_ptr<Blocks> blocks_;
    Blocks& out_;
    std::string_view separator_;
    nlohmann::detail::serializer<Json> serializer_;
    Json signed_ = Json::number_integer_t{0}, unsigned_ = Json::number_unsigned_t{0}, string_ = "";
    bool any_ = false, first_ = true;
};

// The JSON text of a date: files often share one, and the last is kept.
class IsoDates {
  public:
    const std::string& operator()(std::time_t t) {
        if (!known_ || last_ != t) text_ = dumped(iso_date(t));
        known_ = true, last_ = t;
        return text_;
    }

  private:
    bool known_ = false;
    std::time_t last_ = 0;
    std::string text_;
};

void print_document(Image& image, Json& doc, const std::vector<std::string>& warnings) {
    doc["warnings"] = warnings;
    std::string text = dumped(doc) + "\n";
    std::fwrite(text.data(), 1, text.size(), image.out);
}

std::int64_t host_bytes(std::int64_t start, std::int64_t words, bool with_sector, bool packed) {
    HostForm form{with_sector, false, packed};
    return host_length(source_range(start, words, form).length, form);
}

// What every file object has: its names (as listed, and the host file name rea writes, null
// when rea refuses it), its size in words and the bytes of its host forms. listed: room for
// the name as listed.
void add_file_identity(JsonStream& file, std::string& listed, const std::string& name,
                       const std::string& extension, const std::string& full_name, std::int64_t start,
                       std::int64_t size) {
    file.member("name", name);
    file.member("extension", extension);
    file.member("full_name", full_name);
    listed = name;
    listed.resize(std::max<std::size_t>(listed.size(), 8), ' ');
    listed += extension.empty() ? ' ' : '.';
    listed += extension;
    listed.resize(std::max<std::size_t>(listed.size(), 13), ' ');
    file.member("listed_name", listed);
    file.member("host_name", usable_host_name(full_name), full_name);
    file.member("size_words", size);
    file.open("bytes");
    file.member("file_image", host_bytes(start, size, true, false));
    file.member("data", host_bytes(start, size, false, false));
    file.member("packed_file_image", host_bytes(start, size, true, true));
    file.member("packed_data", host_bytes(start, size, false, true));
    file.close();
}

class JsonListing : public ListingOutput {
  public:
    JsonListing(Image& image, const char* command, unsigned mask)
        : image_(image), kept_(image), mask_(mask), command_(command), entries_(image.out, "\n") {}

    // The directory's values, once it is read.
    void heading() override {
        Json head = document(image_, command_);
        head["directory"] = {{"comment", image_.disk_comment},
                             {"date", iso_date(image_.directory_date)},
                             {"actual_date", iso_date(std::time(nullptr))},
                             {"blocks", image_.directory_blocks},
                             {"sectors", image_.disk_sectors},
                             {"entries_used", entries_used(image_)},
                             {"capacity", directory_capacity(image_)}};
        entries_.begin(head, "entries");
    }
    void new_group() override {}
    void file_start(const FileLine&) override {}

    void free_area(const DirEntry& entry) override {
        entries_.item();
        entries_.key("kind").text("\"empty\"");
        entries_.member("size_words", entry.size);
        if (mask_ & LIST_SECTORS) entries_.member("sectors", entry.size / SECTOR_WORDS);
        if (mask_ & LIST_KWORDS) entries_.member("k", entry.size / K_WORDS);
        if (mask_ & LIST_START) entries_.member("start_sector", entry.start);
        entries_.item_end();
    }

    void illegal_entry(const DirEntry& entry) override {
        head_of(FileLine{entry.name, entry.extension, entry.full_name, entry.attributes, entry.size,
                         entry.start, entry.tag, nullptr},
                "\"illegal\"");
        if (mask_ & LIST_START) entries_.member("start_sector", entry.start);
        if (mask_ & LIST_TAG) entries_.member("tag", entry.tag);
        entries_.item_end();
    }

    void file_end(const FileLine& line) override {
        head_of(line, line.sector && line.sector->kind != SECTOR_KIND_FILE ? "\"deleted\"" : "\"file\"");
        if (const DirSector* s = line.sector) {
            if (mask_ & LIST_ADDRESSES) {
                entries_.member("load_address", s->load_address);
                entries_.member("end_address", s->load_address + line.size - 1);
                entries_.member("program_start", s->program_start >= 0, s->program_start);
            }
            if (mask_ & LIST_USER_INFO) {
                bool shown = s->user_info_address >= 0 && s->user_info_size >= 1;
                entries_.member("user_info_address", shown, s->user_info_address);
                entries_.member("user_info_size", shown, s->user_info_size);
            }
            if (mask_ & LIST_DATE) entries_.key("date").text(dates_(s->date));
        }
        if (mask_ & LIST_START) entries_.member("start_sector", line.start);
        if (mask_ & LIST_TAG) entries_.member("tag", line.tag);
        if ((mask_ & LIST_COMMENT) && line.sector) entries_.member("comment", line.sector->comment);
        entries_.item_end();
    }

    void summary(const Totals& totals) override {
        Json tail = Json::object();
        tail["summary"] = {{"space_available_words", totals.free},
                           {"space_available_k", totals.free / K_WORDS},
                           {"space_available_sectors", totals.free / SECTOR_WORDS},
                           {"largest_empty_words", totals.largest},
                           {"largest_empty_k", totals.largest / K_WORDS},
                           {"largest_empty_sectors", totals.largest / SECTOR_WORDS}};
        tail["warnings"] = kept_.texts();
        entries_.end(tail);
    }

  private:
    // An entry of a file and its fields before its directory sector's. kind: its JSON text.
    void head_of(const FileLine& line, const char* kind) {
        entries_.item();
        entries_.key("kind").text(kind);
        add_file_identity(entries_, listed_, line.name, line.extension, line.full_name, line.start,
                          line.size);
        entries_.member("directory_sector", line.sector != nullptr);
        if (mask_ & LIST_ATTRIBUTES) {
            entries_.member("attribute_word", line.attributes);
            entries_.member("attribute_letters", attribute_letters(line.attributes));
        }
        if (mask_ & LIST_NUMBERS) {
            entries_.key("attribute_numbers").text("[");
            entries_.value(line.attributes & ATTR_FIRST_NUMBER);
            entries_.text(",");
            entries_.value((line.attributes & ATTR_SECOND_NUMBER) >> 8);
            entries_.text("]");
        }
        if (mask_ & LIST_SECTORS) entries_.member("sectors", data_sectors(line.size));
        if (mask_ & LIST_KWORDS) entries_.member("k", (line.size + K_WORDS - 1) / K_WORDS);
    }

    Image& image_;
    KeptWarnings kept_;
    unsigned mask_;
    const char* command_;
    JsonStream entries_;
    std::string listed_;
    IsoDates dates_;
};

} // namespace

std::unique_ptr<ListingOutput> json_listing(Image& image, const char* command, unsigned mask) {
    return std::make_unique<JsonListing>(image, command, mask);
}

void print_sums_json(Image& image, const std::vector<std::string>& warnings, const std::vector<FileSum>& sums,
                     const std::vector<std::string>* not_found) {
    JsonStream files(image.out, "");
    files.begin(document(image, "sum"), "files");
    std::string listed;
    for (const FileSum& sum : sums) {
        const DirEntry& e = *sum.entry;
        files.item();
        add_file_identity(files, listed, e.name, e.extension, e.full_name, e.start, e.size);
        files.member("checksum", sum.checksum);
        files.item_end();
    }
    Json tail = Json::object();
    if (not_found != nullptr) tail["not_found"] = *not_found;
    tail["warnings"] = warnings;
    files.end(tail);
}

void print_partition_table_json(Image& image, const std::vector<std::string>& warnings,
                                const PartitionTable& table) {
    Json doc = document(image, "ptr");
    Json disks = Json::array();
    for (int i = 0; i < LOGICAL_DISKS; ++i) {
        const LogicalDisk& disk = table.disks[static_cast<std::size_t>(i)];
        disks.push_back({{"disk", "=D" + std::to_string(i + 1)},
                         {"unit", static_cast<std::uint32_t>(disk.unit)},
                         {"start_sector", disk.start},
                         {"end_sector", std::int64_t{disk.start} + disk.size - 1},
                         {"size_sectors", disk.size}});
    }
    doc["partitions"] = std::move(disks);
    print_document(image, doc, warnings);
}

void print_disk_comment_json(Image& image, const std::vector<std::string>& warnings,
                             const std::string& comment) {
    Json doc = document(image, "dcr");
    doc["comment"] = comment;
    print_document(image, doc, warnings);
}

} // namespace veltool
