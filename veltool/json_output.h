// --json: the listings and reports of dir, sdi, ddi, sum, ptr and dcr as one JSON document
// each, built from the same records as their text and printed when the command has ended
// without an error. The documents are described by the schema files in docs/schema/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "veltool/image/fixed_records.h"
#include "veltool/listings.h"

namespace veltool {

struct Image;
struct DirEntry;

// The listing of the command ("dir", "sdi" or "ddi"): the entries with the fields of the mask.
// The image's warnings are kept from here on and listed in the document.
std::unique_ptr<ListingOutput> json_listing(Image& image, const char* command, unsigned mask);

// A file of sum and its checksum.
struct FileSum {
    const DirEntry* entry;
    std::uint32_t checksum;
};

// The documents of sum (not_found: the name patterns when the text would report
// "FILE NOT FOUND:", else nullptr), ptr and dcr, with the warnings kept while they were made.
void print_sums_json(Image& image, const std::vector<std::string>& warnings, const std::vector<FileSum>& sums,
                     const std::vector<std::string>* not_found);
void print_partition_table_json(Image& image, const std::vector<std::string>& warnings,
                                const PartitionTable& table);
void print_disk_comment_json(Image& image, const std::vector<std::string>& warnings,
                             const std::string& comment);

} // namespace veltool
