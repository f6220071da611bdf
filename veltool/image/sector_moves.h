// Moving many runs of sectors of the disk image down in one pass: the image is read in long
// blocks from the first run on and the runs are written to their new places in long blocks,
// so that thousands of small runs cost a few system calls for every 4 MiB, and a write for
// each sector left behind at an old place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/words.h"

namespace veltool {

struct Image;

// `count` sectors that move from sector `from` down to sector `to`.
struct SectorMove {
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::int64_t count = 0;
};

// Given the first sector of move k as it was read (768 bytes, in `moved`, and a copy in `left`),
// rewrites it into the sector that starts the run at its new place, and `left` into the sector
// that its old place is to hold.
using FirstSectorChange = std::function<void(std::size_t k, kavolt::Byte* moved, kavolt::Byte* left)>;

// Moves the runs, which follow each other up the disk, each to the sectors right after the
// previous one's new place. The image ends up as if each run in turn had `left` written at its
// old place, then been copied one sector at a time in ascending order, then had its new first
// sector written; `left` is written only where no run lands. Every byte overwritten goes to the
// change's journal first: a batch for each block, and one for the sectors left behind, which
// are written last. Failures are fatal as those of the copies and of the directory sector
// writes would be.
void move_runs_down(Image& image, const std::vector<SectorMove>& moves, const FirstSectorChange& change);

} // namespace veltool
