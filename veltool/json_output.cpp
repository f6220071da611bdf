#include "veltool/json_output.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "veltool/files/host_forms.h"
#include "veltool/image/directory.h"
#include "veltool/report.h"

namespace veltool {

namespace {

// Keys in the order of the text.
using Json = nlohmann::ordered_json;

// A date in ISO 8601 with the offset of the local time zone, in which the text shows it;
// null for no date (0). The last one is kept: files often share it.
class IsoDates {
  public:
    Json operator()(std::time_t t) {
        if (t == 0) return nullptr;
        if (last_ && last_->first == t) return last_->second;
        std::tm calendar{};
        if (localtime_r(&t, &calendar) == nullptr) return nullptr;
        char text[64];
        std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &calendar);
        std::string iso(text, n);
        if (iso.size() >= 5) iso.insert(iso.size() - 2, ":"); // +hhmm becomes +hh:mm
        last_.emplace(t, iso);
        return iso;
    }

  private:
    std::optional<std::pair<std::time_t, std::string>> last_;
};

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

// A document printed as it is made: its head, then the items of one list one at a time and
// one a line (a listing of thousands of files is never held as a whole), then its tail.
class JsonStream {
  public:
    explicit JsonStream(std::FILE* out)
        : out_(out), adapter_(text_), serializer_(adapter_, ' ', Json::error_handler_t::replace) {}
    // The head's members, and the list's key.
    void begin(const Json& head, const char* key) {
        text_ = dumped(head);
        text_.back() = ',';
        (text_ += '"') += key;
        text_ += "\":[";
        flush();
    }
    void add(const Json& item) {
        text_ = any_ ? ",\n" : "\n";
        any_ = true;
        serializer_.dump(item, false, false, 0);
        flush();
    }
    // The list's end and the tail's members.
    void end(const Json& tail) {
        text_ = any_ ? "\n]," : "],";
        text_ += dumped(tail).substr(1);
        text_ += '\n';
        flush();
    }

  private:
    void flush() { std::fwrite(text_.data(), 1, text_.size(), out_); }
    std::FILE* out_;
    std::string text_;
    nlohmann::detail::output_adapter<char> adapter_;
    nlohmann::detail::serializer<Json> serializer_;
    bool any_ = false;
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
// when rea refuses it), its size in words and the bytes of its host forms.
void add_file_identity(Json& file, const std::string& name, const std::string& extension,
                       const std::string& full_name, std::int64_t start, std::int64_t size) {
    file["name"] = name;
    file["extension"] = extension;
    file["full_name"] = full_name;
    std::string listed = name;
    listed.resize(std::max<std::size_t>(listed.size(), 8), ' ');
    listed += extension.empty() ? ' ' : '.';
    listed += extension;
    listed.resize(std::max<std::size_t>(listed.size(), 13), ' ');
    file["listed_name"] = std::move(listed);
    file["host_name"] = usable_host_name(full_name) ? Json(full_name) : Json(nullptr);
    file["size_words"] = size;
    Json& bytes = file["bytes"];
    bytes["file_image"] = host_bytes(start, size, true, false);
    bytes["data"] = host_bytes(start, size, false, false);
    bytes["packed_file_image"] = host_bytes(start, size, true, true);
    bytes["packed_data"] = host_bytes(start, size, false, true);
}

class JsonListing : public ListingOutput {
  public:
    JsonListing(Image& image, const char* command, unsigned mask)
        : image_(image), kept_(image), mask_(mask), command_(command), entries_(image.out) {}

    // The directory's values, once it is read.
    void heading() override {
        Json head = document(image_, command_);
        head["directory"] = {{"comment", image_.disk_comment},
                             {"date", dates_(image_.directory_date)},
                             {"actual_date", dates_(std::time(nullptr))},
                             {"blocks", image_.directory_blocks},
                             {"sectors", image_.disk_sectors},
                             {"entries_used", entries_used(image_)},
                             {"capacity", directory_capacity(image_)}};
        entries_.begin(head, "entries");
    }
    void new_group() override {}
    void file_start(const FileLine&) override {}

    void free_area(const DirEntry& entry) override {
        Json& area = free_;
        area["kind"] = "empty";
        area["size_words"] = entry.size;
        if (mask_ & LIST_SECTORS) area["sectors"] = entry.size / SECTOR_WORDS;
        if (mask_ & LIST_KWORDS) area["k"] = entry.size / K_WORDS;
        if (mask_ & LIST_START) area["start_sector"] = entry.start;
        entries_.add(area);
    }

    void illegal_entry(const DirEntry& entry) override {
        Json& file = head_of(illegal_,
                             FileLine{entry.name, entry.extension, entry.full_name, entry.attributes,
                                      entry.size, entry.start, entry.tag, nullptr},
                             "illegal");
        if (mask_ & LIST_START) file["start_sector"] = entry.start;
        if (mask_ & LIST_TAG) file["tag"] = entry.tag;
        entries_.add(file);
    }

    void file_end(const FileLine& line) override {
        Json& file = head_of(line.sector ? with_sector_ : without_sector_, line,
                             line.sector && line.sector->kind != SECTOR_KIND_FILE ? "deleted" : "file");
        if (const DirSector* s = line.sector) {
            if (mask_ & LIST_ADDRESSES) {
                file["load_address"] = s->load_address;
                file["end_address"] = s->load_address + line.size - 1;
                file["program_start"] = s->program_start >= 0 ? Json(s->program_start) : Json(nullptr);
            }
            if (mask_ & LIST_USER_INFO) {
                bool shown = s->user_info_address >= 0 && s->user_info_size >= 1;
                file["user_info_address"] = shown ? Json(s->user_info_address) : Json(nullptr);
                file["user_info_size"] = shown ? Json(s->user_info_size) : Json(nullptr);
            }
            if (mask_ & LIST_DATE) file["date"] = dates_(s->date);
        }
        if (mask_ & LIST_START) file["start_sector"] = line.start;
        if (mask_ & LIST_TAG) file["tag"] = line.tag;
        if ((mask_ & LIST_COMMENT) && line.sector) file["comment"] = line.sector->comment;
        entries_.add(file);
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
    // The fields of a file before its directory sector's.
    Json& head_of(Json& file, const FileLine& line, const char* kind) {
        file["kind"] = kind;
        add_file_identity(file, line.name, line.extension, line.full_name, line.start, line.size);
        file["directory_sector"] = line.sector != nullptr;
        if (mask_ & LIST_ATTRIBUTES) {
            file["attribute_word"] = line.attributes;
            file["attribute_letters"] = attribute_letters(line.attributes);
        }
        if (mask_ & LIST_NUMBERS)
            file["attribute_numbers"] = {line.attributes & ATTR_FIRST_NUMBER,
                                         (line.attributes & ATTR_SECOND_NUMBER) >> 8};
        if (mask_ & LIST_SECTORS) file["sectors"] = data_sectors(line.size);
        if (mask_ & LIST_KWORDS) file["k"] = (line.size + K_WORDS - 1) / K_WORDS;
        return file;
    }

    Image& image_;
    KeptWarnings kept_;
    unsigned mask_;
    const char* command_;
    JsonStream entries_;
    // The objects of each kind of entry, filled again for every entry: their keys stay.
    Json free_, illegal_, with_sector_, without_sector_;
    IsoDates dates_;
};

} // namespace

std::unique_ptr<ListingOutput> json_listing(Image& image, const char* command, unsigned mask) {
    return std::make_unique<JsonListing>(image, command, mask);
}

void print_sums_json(Image& image, const std::vector<std::string>& warnings, const std::vector<FileSum>& sums,
                     const std::vector<std::string>* not_found) {
    Json doc = document(image, "sum");
    Json files = Json::array();
    for (const FileSum& sum : sums) {
        const DirEntry& e = *sum.entry;
        Json file = Json::object();
        add_file_identity(file, e.name, e.extension, e.full_name, e.start, e.size);
        file["checksum"] = sum.checksum;
        files.push_back(std::move(file));
    }
    doc["files"] = std::move(files);
    if (not_found != nullptr) doc["not_found"] = *not_found;
    print_document(image, doc, warnings);
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
