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

// A date as the listings show it: "%d.%b.%y" of the local time, at most 9 characters. The
// image keeps the last one, which the next file often shares.
std::string listing_date(Image& image, std::time_t t);

} // namespace veltool
