// The directory listings dir, sdi and ddi.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "veltool/options.h"

namespace veltool {

// Bits of the listing mask: which fields a listing line shows.
constexpr unsigned LIST_ATTRIBUTES = 0x001;
constexpr unsigned LIST_NUMBERS = 0x002;
constexpr unsigned LIST_SECTORS = 0x004;
constexpr unsigned LIST_KWORDS = 0x008;
constexpr unsigned LIST_ADDRESSES = 0x010;
constexpr unsigned LIST_USER_INFO = 0x020;
constexpr unsigned LIST_DATE = 0x040;
constexpr unsigned LIST_START = 0x080;
constexpr unsigned LIST_TAG = 0x100;
constexpr unsigned LIST_COMMENT = 0x200;
constexpr unsigned LIST_SUMMARY = 0x400;
constexpr unsigned LIST_HEADER = 0x800;

// The mask of a -o text: a preset letter B, C, F or N, else a number, else the default.
unsigned listing_mask(const std::string& letters);

struct Image;
struct DirEntry;
struct DirSector;
class SectorScan;

// The attribute letters a listing shows for an attribute word: A, R or I, then X, P, C.
std::string attribute_letters(std::uint32_t attributes);

// Calls each(s, sector) for every deleted file that ddi finds in the EMPTY area: the
// directory sector of one that starts at s and lies inside the area, read through the scan.
void find_deleted_files(SectorScan& scan, const DirEntry& area,
                        const std::function<void(std::int64_t, DirSector&)>& each);

// What a file line shows: an entry's fields, or those of a deleted file's directory sector.
struct FileLine {
    const std::string& name;
    const std::string& extension;
    const std::string& full_name;
    std::uint32_t attributes;
    std::int64_t size;
    std::int64_t start;
    const std::string& tag;
    const DirSector* sector; // with the file magic or, in ddi, the deleted one found
};

// The free space a listing counts: every EMPTY entry, shown or not.
struct Totals {
    std::int64_t free = 0;
    std::int64_t largest = 0;
};

// Where a listing goes, item by item in the order of the listing: as text, or into a JSON
// document that is printed when the listing ends.
class ListingOutput {
  public:
    virtual ~ListingOutput() = default;
    virtual void heading() = 0;
    virtual void free_area(const DirEntry& entry) = 0;
    virtual void illegal_entry(const DirEntry& entry) = 0;
    // A file line in two steps: the fields before the directory sector is loaded, then the rest.
    virtual void file_start(const FileLine& line) = 0;
    virtual void file_end(const FileLine& line) = 0;
    virtual void new_group() = 0; // sdi: the next file starts another group
    virtual void summary(const Totals& totals) = 0;
};

// A date as the listings show it: "%d.%b.%y" of the local time, at most 9 characters. The
// image keeps the last one, which the next file often shares.
std::string listing_date(Image& image, std::time_t t);

} // namespace veltool
