// A journal left beside an image: checked and taken apart. The journal's own header names the
// image, so that inputs reach the records; whatever the input, nothing is to be played unless
// the journal checks, and what is to be played lies inside the input.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "veltool/image/journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> journal(data, size);
    veltool::JournalIdentity image;
    auto word = [&](std::size_t at) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < 8 && at + i < size; ++i)
            v |= std::uint64_t{data[at + i]} << (8 * i);
        return v;
    };
    image.device = word(8);
    image.inode = word(16);
    veltool::JournalContents contents = veltool::read_journal(journal, image);
    std::size_t played = 0;
    for (const auto& record : contents.records) {
        if (record.offset < 0) std::abort();
        played += record.bytes.size() + 24;
    }
    if (contents.state != veltool::JournalContents::State::usable && !contents.records.empty()) std::abort();
    if (played > size) std::abort();
    return 0;
}
