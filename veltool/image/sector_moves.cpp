#include "veltool/image/sector_moves.h"

#include <algorithm>
#include <utility>

#include "veltool/image/image.h"
#include "veltool/image/io.h"
#include "veltool/image/layout.h"

namespace veltool {

namespace {

// The longest block read or written at once: about 4 MiB, the journal's batch.
constexpr std::int64_t BLOCK_SECTORS = 4 * RUN_BYTES / SECTOR_BYTES;

std::size_t bytes_of(std::int64_t sectors) {
    return static_cast<std::size_t>(sectors * SECTOR_BYTES);
}

} // namespace

// Every run moves down, so a block's output lies below the block's end and overwrites only
// bytes that were read already: the next block is never touched. A block's output goes to
// the journal before it is written, its old bytes taken from the block where it holds them;
// the left sectors lie in the block read. The block itself stays as read.
void move_runs_down(Image& image, const std::vector<SectorMove>& moves, const FirstSectorChange& change) {
    if (moves.empty()) return;
    const std::int64_t packed_end = moves.back().to + moves.back().count;
    const std::int64_t last_end = moves.back().from + moves.back().count;
    std::vector<Byte> block, out, left;
    std::vector<std::int64_t> left_at; // where the sectors in `left` go
    Byte mark[SECTOR_BYTES];
    std::int64_t out_at = moves.front().to;
    std::size_t k = 0;
    std::int64_t done = 0; // sectors of move k taken
    while (k < moves.size()) {
        const std::int64_t first = moves[k].from + done;
        const std::int64_t sectors = std::min(BLOCK_SECTORS, last_end - first);
        block.resize(bytes_of(sectors));
        read_at(image.fd(), first * SECTOR_BYTES, block.data(), block.size(), "cannot seek disk image",
                "cannot read disk sector");
        out.clear();
        left.clear();
        left_at.clear();
        while (k < moves.size() && moves[k].from + done < first + sectors) {
            const SectorMove& move = moves[k];
            std::int64_t take = std::min(move.count - done, first + sectors - (move.from + done));
            const Byte* from = block.data() + bytes_of(move.from + done - first);
            std::size_t at = out.size();
            out.insert(out.end(), from, from + bytes_of(take));
            if (done == 0) {
                change(k, out.data() + at, mark);
                if (move.from >= packed_end) { // no run lands there
                    left.insert(left.end(), mark, mark + SECTOR_BYTES);
                    left_at.push_back(move.from);
                }
            }
            done += take;
            if (done == move.count) ++k, done = 0;
        }
        if (image.journal) {
            // What the block holds of the area the runs land in, while it is at hand; then what
            // this block's output covers besides (free space, the most of it).
            std::int64_t held_end = std::min(first + sectors, packed_end);
            std::vector<std::pair<std::int64_t, std::int64_t>> ranges{
                {first * SECTOR_BYTES, std::max<std::int64_t>(held_end - first, 0) * SECTOR_BYTES},
                {out_at * SECTOR_BYTES, static_cast<std::int64_t>(out.size())}};
            for (std::int64_t s : left_at)
                ranges.emplace_back(s * SECTOR_BYTES, SECTOR_BYTES);
            image.journal->before_writes(ranges, HeldBytes{first * SECTOR_BYTES, block});
        }
        write_image(image, out_at * SECTOR_BYTES, out.data(), out.size(), "cannot write disk sector");
        out_at += static_cast<std::int64_t>(out.size()) / SECTOR_BYTES;
        for (std::size_t i = 0; i < left_at.size(); ++i)
            write_image(image, left_at[i] * SECTOR_BYTES,
                        left.data() + bytes_of(static_cast<std::int64_t>(i)), SECTOR_BYTES,
                        "cannot write directory sector");
    }
}

} // namespace veltool
