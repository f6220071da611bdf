// Changing files inside the image: del, ren and cop.
#include "veltool/commands.h"

#include <ctime>
#include <optional>

#include "veltool/files/file_walk.h"
#include "veltool/files/free_space.h"
#include "veltool/image/io.h"
#include "veltool/octal.h"
#include "veltool/report.h"

namespace veltool {

namespace {

constexpr std::int64_t MAX_USER_INFO_SIZE = 0330;
constexpr std::size_t TAG_LENGTH = 4;
constexpr std::size_t COMMENT_LENGTH = SECTOR_COMMENT_BYTES - 1;
constexpr std::uint32_t ATTR_LETTERS = ATTR_X | ATTR_C | ATTR_P | ATTR_I | ATTR_R;

// ren and cop: with two or more arguments the last one names the destination and the others
// are the name patterns.
struct Target {
    Selection selection;
    std::optional<std::string> destination; // its full name
};

Target target_of(const Options& options) {
    Target target{selection_of(options, false), std::nullopt};
    if (target.selection.patterns.size() >= 2) {
        target.destination = canonical_name(target.selection.patterns.back());
        target.selection.patterns.pop_back();
    }
    return target;
}

// A number of the command line as the 32-bit integer that holds it in a directory sector.
std::int32_t as_word_value(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

void warn_illegal_name(Image& image, const std::string& full_name) {
    warn(image, 0, "ILLEGAL OUTPUT FILENAME: %s", full_name.c_str());
}

// ren -g: a start address below the load address the file will have, or at or beyond its
// end, is refused.
bool start_address_legal(const Options& options, const DirSector& sector) {
    if (options.program_start <= 0) return true;
    std::int64_t load = options.load_address >= 0 ? options.load_address : sector.load_address;
    return options.program_start >= load && options.program_start - sector.size < load;
}

void change_addresses(DirEntry& entry, const Options& options) {
    DirSector& sector = *entry.sector;
    if (options.load_address >= 0) {
        if (sector.program_start >= 0) {
            // Moved with the load address; the word keeps the low bits of the exact sum.
            sector.program_start = as_word_value(static_cast<std::uint32_t>(sector.program_start) +
                                                 static_cast<std::uint32_t>(options.load_address) -
                                                 static_cast<std::uint32_t>(sector.load_address));
        }
        sector.load_address = as_word_value(options.load_address);
    }
    if (options.program_start >= 0) {
        sector.program_start = options.program_start == 0 ? -1 : as_word_value(options.program_start);
        if (options.attributes.empty()) {
            if (sector.program_start >= 0) {
                sector.attributes |= ATTR_X;
            } else {
                sector.attributes &= ~ATTR_X;
            }
            entry.attributes = sector.attributes;
        }
    }
}

void change_user_info(DirSector& sector, const Options& options) {
    if (options.user_info_address >= 0) {
        sector.user_info_address =
            options.user_info_address == 0 ? -1 : as_word_value(options.user_info_address);
    }
    if (options.user_info_address < 0 && options.user_info_size < 0) return;
    if (options.user_info_size >= 0) sector.user_info_size = as_word_value(options.user_info_size);
    if (sector.user_info_address == -1 || sector.user_info_size == 0) {
        sector.user_info_address = -1;
        sector.user_info_size = 0;
    }
}

// The two numbers of an attribute string read as "%i!%i"; -1 where absent.
struct AttributeNumbers {
    std::int64_t first = -1, second = -1;
};

AttributeNumbers numbers_of(const std::string& text) {
    AttributeNumbers numbers;
    std::size_t used = scan_integer(text, numbers.first);
    if (used != 0 && used < text.size() && text[used] == '!')
        scan_integer(text.substr(used + 1), numbers.second);
    return numbers;
}

// ren -a: the numbers replace theirs when given; the letters X, C, P and the type are set to
// exactly what the string says.
void apply_attribute_string(DirSector& sector, const std::string& text) {
    AttributeNumbers numbers = numbers_of(text);
    std::uint32_t attributes = sector.attributes;
    if (numbers.first >= 0) {
        attributes = (attributes & ~ATTR_FIRST_NUMBER) | (static_cast<std::uint32_t>(numbers.first) & 0377);
    }
    if (numbers.second >= 0) {
        attributes = (attributes & ~ATTR_SECOND_NUMBER) | (static_cast<std::uint32_t>(numbers.second) & 0177)
                                                              << 8;
    }
    attributes &= ~ATTR_LETTERS;
    if (!has_letter(text, 'A')) {
        if (has_letter(text, 'R')) {
            attributes |= ATTR_R;
        } else if (has_letter(text, 'I')) {
            attributes |= ATTR_I;
        }
    }
    if (has_letter(text, 'P')) attributes |= ATTR_P;
    if (has_letter(text, 'C')) attributes |= ATTR_C;
    if (has_letter(text, 'X')) {
        attributes |= ATTR_X;
        if (sector.program_start < 0) sector.program_start = sector.load_address;
    }
    sector.attributes = attributes;
}

// Every change ren makes to a file whose directory sector is loaded, in its order.
void change_fields(DirEntry& entry, const Options& options, const std::optional<std::string>& new_name) {
    DirSector& sector = *entry.sector;
    if (new_name) {
        set_full_name(sector, *new_name);
        set_full_name(entry, *new_name);
    }
    change_addresses(entry, options);
    change_user_info(sector, options);
    if (!options.attributes.empty()) {
        apply_attribute_string(sector, options.attributes);
        entry.attributes = sector.attributes;
    }
    if (!options.new_tag.empty()) {
        sector.tag = options.new_tag.substr(1, TAG_LENGTH);
        entry.tag = sector.tag;
    }
    if (!options.comment.empty()) {
        sector.comment = options.comment == "\\" ? std::string() : options.comment.substr(0, COMMENT_LENGTH);
    }
}

// ren of one selected file; true when it was changed.
bool rename_file(Image& image, DirEntry& entry, const Options& options,
                 const std::optional<std::string>& new_name) {
    if (new_name && find_file(image, *new_name) != nullptr) {
        warn_illegal_name(image, *new_name);
        return false;
    }
    require_sound_directory(image, has_letter(options.letters, 'F'));
    if (!load_usable_sector(image, entry)) {
        warn_unusable_sector(image, entry);
        return false;
    }
    if (!start_address_legal(options, *entry.sector)) {
        warn(image, 0, "ILLEGAL PROGRAM START ADDRESS: %llo", octal(options.program_start));
        drop_directory_sector(entry);
        return false;
    }
    change_fields(entry, options, new_name);
    write_directory_sector(image, entry);
    drop_directory_sector(entry);
    return true;
}

// cop: the chosen free entry becomes the copy, with the source's directory sector under the
// destination name, its own start sector and today's date.
void make_copy(Image& image, DirEntry& copy, DirEntry& source, const std::string& destination) {
    DirSector sector = std::move(*source.sector);
    drop_directory_sector(source);
    set_full_name(sector, destination);
    sector.start = copy.start;
    sector.date = std::time(nullptr);
    copy.empty = false;
    copy.mark = 1;
    set_full_name(copy, destination);
    copy.tag = sector.tag;
    copy.size = sector.size;
    copy.attributes = sector.attributes;
    copy.sector = std::move(sector);
    write_directory_sector(image, copy);
    drop_directory_sector(copy);
}

enum class Walk { go_on, stop };

// cop of one selected source. A destination that it replaced is put back as it was when no
// copy can be made after all.
Walk copy_file(Image& image, DirEntry& source, const std::string& destination, const Options& options,
               bool& changed) {
    if (source.full_name == destination) {
        warn_illegal_name(image, destination);
        return Walk::go_on;
    }
    DirEntry* existing = find_file(image, destination);
    if (existing != nullptr && (existing->attributes & ATTR_P) && !has_letter(options.letters, 'Y')) {
        warn_illegal_name(image, destination);
        return Walk::go_on;
    }
    require_sound_directory(image, has_letter(options.letters, 'F'));

    bool changed_before = changed;
    std::optional<ReleasedFile> replaced;
    if (existing != nullptr) {
        changed = true;
        // Released with its done mark: put back, a copy of this run is still no source.
        replaced = release_entry(image, *existing);
        existing->mark = 0;
        tidy_directory(image); // may merge the released entry away: it is not used again
    }
    auto put_back_replaced = [&] {
        if (!replaced) return;
        restore_released(image, *replaced);
        changed = changed_before;
    };

    if (!load_usable_sector(image, source)) {
        put_back_replaced();
        warn_unusable_sector(image, source);
        return Walk::go_on;
    }
    std::int64_t words = source.sector->size;
    PlaceResult place = place_in_free_space(image, words);
    if (place.status != Placement::placed) {
        drop_directory_sector(source);
        put_back_replaced();
        warn(image, 0, "%s", placement_message(place.status));
        return Walk::stop;
    }
    changed = true;
    copy_sectors(image, source.start - 1, place.entry->start - 1, data_sectors(words) + 1);
    make_copy(image, *place.entry, source, destination);
    return Walk::go_on;
}

void clear_marks(Image& image) {
    for (DirEntry& entry : image.directory_list)
        entry.mark = 0;
}

} // namespace

void command_del(Image& image, const Options& options) {
    Selection selection = selection_of(options, false);
    bool changed = false;
    read_directory(image);
    std::int64_t found = for_each_selected(image, selection, [&](DirEntry& entry) {
        if ((entry.attributes & ATTR_P) && !has_letter(options.letters, 'Y')) {
            warn(image, 0, "PROTECTED FILE %s NOT DELETED", entry.full_name.c_str());
            return;
        }
        require_sound_directory(image, has_letter(options.letters, 'F'));
        changed = true;
        // Not merged here: the walk stands on this entry. write_directory merges.
        release_entry(image, entry);
    });
    report_if_none_found(image, found, options, selection);
    if (changed) write_directory(image);
}

void command_ren(Image& image, const Options& options) {
    if (options.user_info_size > MAX_USER_INFO_SIZE) {
        fatal(0, "ILLEGAL USER INFO SIZE: %llo", octal(options.user_info_size));
    }
    Target target = target_of(options);
    bool changed = false;
    read_directory(image);
    std::int64_t found = for_each_selected(image, target.selection, [&](DirEntry& entry) {
        if (rename_file(image, entry, options, target.destination)) changed = true;
    });
    report_if_none_found(image, found, options, target.selection);
    if (changed) write_directory(image);
}

void command_cop(Image& image, const Options& options) {
    if (options.arguments.size() < 2) fatal(0, "DESTINATION FILENAME NOT SPECIFIED");
    Target target = target_of(options);
    const std::string& destination = *target.destination;
    read_directory(image);
    clear_marks(image);
    bool changed = false;
    std::int64_t found = 0;
    // Copies made in this run carry the done mark and are never taken as sources. The list
    // grows and merges under the walk; `source` stays valid, since only EMPTY entries that
    // follow another EMPTY one are merged away.
    for (DirEntry& source : image.directory_list) {
        if (source.empty || source.mark != 0) continue;
        source.mark = 1;
        if (!entry_selected(target.selection, source.tag, source.full_name)) continue;
        ++found;
        if (copy_file(image, source, destination, options, changed) == Walk::stop) break;
    }
    report_if_none_found(image, found, options, target.selection);
    if (changed) {
        clear_marks(image);
        write_directory(image);
    }
}

} // namespace veltool
