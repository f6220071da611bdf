#include "veltool/image/sector_moves.h"

#include <algorithm>
#include <cstring>
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
// bytes that were read already: the next block is never touched. Before a block's output is
// written, the journal takes what the block holds of the area the runs land in (from the
// block itself) and whatever else the output covers (free space, the most of it). Then the
// block's pieces of runs are moved to its front, in order, each to a place no later than its
// own. The sectors left at old places behind the packed runs come last, in one batch with the
// old bytes kept of them.
void move_runs_down(Image& image, const std::vector<SectorMove>& moves, const FirstSectorChange& change) {
    if (moves.empty()) return;
    const std::int64_t packed_end = moves.back().to + moves.back().count;
    const std::int64_t last_end = moves.back().from + moves.back().count;
    std::vector<Byte> block(bytes_of(BLOCK_SECTORS));
    auto behind = static_cast<std::size_t>(std::count_if(
        moves.begin(), moves.end(), [&](const SectorMove& move) { return move.from >= packed_end; }));
    std::vector<Byte> left, old_left; // the sectors left behind, and what their places held
    left.reserve(bytes_of(static_cast<std::int64_t>(behind)));
    if (image.journal) old_left.reserve(left.capacity());
    std::vector<std::int64_t> left_at;
    Byte mark[SECTOR_BYTES];
    // A failed write of moved runs is reported as a copy's would be, or as a directory
    // sector's where it failed at the first sector of a run.
    auto failed_write = [&moves](std::int64_t stopped_at) {
        auto run = std::lower_bound(moves.begin(), moves.end(), stopped_at / SECTOR_BYTES,
                                    [](const SectorMove& move, std::int64_t s) { return move.to < s; });
        bool first_sector = run != moves.end() && run->to == stopped_at / SECTOR_BYTES;
        return first_sector ? "cannot write directory sector" : "cannot write disk sector";
    };
    std::int64_t out_at = moves.front().to;
    std::size_t k = 0;
    std::int64_t done = 0; // sectors of move k taken
    while (k < moves.size()) {
        const std::int64_t first = moves[k].from + done;
        const std::int64_t sectors = std::min(BLOCK_SECTORS, last_end - first);
        const std::int64_t block_end = first + sectors;
        read_at(image.fd(), first * SECTOR_BYTES, block.data(), bytes_of(sectors), "cannot seek disk image",
                "cannot read disk sector");
        // The block's output: from each run the part the block holds.
        std::int64_t out_sectors = 0;
        for (std::size_t j = k; j < moves.size() && moves[j].from < block_end; ++j)
            out_sectors +=
                std::min(moves[j].from + moves[j].count, block_end) - std::max(moves[j].from, first);
        if (image.journal) {
            std::int64_t held_end = std::max(std::min(block_end, packed_end), first);
            std::pair<std::int64_t, std::int64_t> ranges[] = {
                {first * SECTOR_BYTES, (held_end - first) * SECTOR_BYTES},
                {out_at * SECTOR_BYTES, out_sectors * SECTOR_BYTES}};
            HeldBytes held{first * SECTOR_BYTES, {block.data(), bytes_of(sectors)}};
            image.journal->before_writes(ranges, {&held, 1});
        }
        Byte* out = block.data();
        while (k < moves.size() && moves[k].from + done < block_end) {
            const SectorMove& move = moves[k];
            std::int64_t take = std::min(move.count - done, block_end - (move.from + done));
            const Byte* from = block.data() + bytes_of(move.from + done - first);
            if (done == 0 && move.from >= packed_end) { // no run lands there
                if (image.journal) old_left.insert(old_left.end(), from, from + SECTOR_BYTES);
                left_at.push_back(move.from);
            }
            std::memmove(out, from, bytes_of(take));
            if (done == 0) {
                std::memcpy(mark, out, SECTOR_BYTES);
                change(k, out, mark);
                if (move.from >= packed_end) left.insert(left.end(), mark, mark + SECTOR_BYTES);
            }
            out += bytes_of(take);
            done += take;
            if (done == move.count) ++k, done = 0;
        }
        write_image(image, out_at * SECTOR_BYTES, block.data(), bytes_of(out_sectors), failed_write);
        out_at += out_sectors;
    }
    if (image.journal) {
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
        std::vector<HeldBytes> held;
        for (std::size_t i = 0; i < left_at.size(); ++i) {
            ranges.emplace_back(left_at[i] * SECTOR_BYTES, SECTOR_BYTES);
            held.push_back({left_at[i] * SECTOR_BYTES, {old_left.data() + i * SECTOR_BYTES, SECTOR_BYTES}});
        }
        image.journal->before_writes(ranges, held);
    }
    for (std::size_t i = 0; i < left_at.size(); ++i)
        write_image(image, left_at[i] * SECTOR_BYTES, left.data() + i * SECTOR_BYTES, SECTOR_BYTES,
                    "cannot write directory sector");
}

} // namespace veltool
