// Spatial index over the volume's block boxes, for finding the blocks that hold a point.
#pragma once

#include <cstdint>
#include <vector>

#include "volume/cellindex.h"
#include "volume/tetravolume.h"

// A grid over the block boxes, so that a walk over the block list tests only the blocks
// whose boxes may hold the point, still in list order.
class BlockLocator {
public:
    // The index's arrays are taken from `arena`, which must outlive the locator.
    BlockLocator(Arena* arena, const std::vector<Block>& blocks);

    // The first block number in list order for which `test(b)` holds, or CellIndex::kNone.
    // `test` is asked about the candidates in ascending order, and only about them.
    template <typename Test>
    uint32_t FirstMatch(const double* point, Test test) const {
        return index.FirstMatch(point, test);
    }

private:
    CellIndex index;
};
