// Moving many runs of sectors of the disk image down in one pass: the image is read in long
// blocks from the first run on and the runs are written to their new places in long blocks,
// so that thousands of small runs cost a few dozen system calls.
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
// previous one's new place: the image ends up as a loop of copies of one sector at a time would
// leave it, with `left` written at the old place of a run's first sector where no run lands.
// Every byte overwritten goes to the change's journal first, one batch for each block.
// Failures are fatal as the copies' and directory sector writes' would be.
void move_runs_down(Image& image, const std::vector<SectorMove>& moves, const FirstSectorChange& change);

} // namespace veltool
