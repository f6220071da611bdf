// One directory entry (24 bytes) and one directory sector (768 bytes): decoded, cross-checked
// against each other, and encoded again.
#include <cstdint>
#include <cstring>
#include <vector>

#include "veltool/image/directory.h"
#include "veltool/image/image.h"
#include "veltool/image/layout.h"
#include "veltool/image/records.h"

using veltool::Byte;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<Byte> bytes(veltool::ENTRY_BYTES + veltool::SECTOR_BYTES, 0);
    std::memcpy(bytes.data(), data, std::min(size, bytes.size()));
    const Byte* slot = bytes.data();
    const Byte* sector_bytes = slot + veltool::ENTRY_BYTES;

    veltool::DirEntry entry = veltool::decode_directory_entry(slot);
    std::optional<veltool::DirSector> sector = veltool::decode_directory_sector(sector_bytes);
    if (!sector) return 0;
    // Encoded again, both must decode without harm. (Names holding '/' or made of '?' alone
    // do not come back the same: the encoder takes the host form of a name.)
    std::vector<Byte> encoded(sector_bytes, sector_bytes + veltool::SECTOR_BYTES);
    veltool::encode_directory_sector(*sector, encoded.data());
    veltool::decode_directory_sector(encoded.data());
    std::vector<Byte> slot_again(veltool::ENTRY_BYTES);
    veltool::encode_directory_entry(entry, slot_again.data());
    veltool::decode_directory_entry(slot_again.data());

    entry.sector = sector;
    veltra::KeepingReporter reporter;
    veltool::Image image(reporter, stdout);
    veltool::check_directory_sector(image, entry);
    return 0;
}
