// Spatial index over the volume's block boxes, for finding the first block that holds a point.
#pragma once

#include <vector>

#include "volume/cellindex.h"
#include "volume/tetravolume.h"

// The blocks in list order and a grid over their boxes, so that the walk over the list
// tests only the blocks whose boxes may hold the point, still in list order.
struct BlockLocator {
    explicit BlockLocator(Block* first);

    // The first block in list order for which `inBox(block)` holds, or null.
    template <typename InBox>
    Block* FirstMatch(const double* point, InBox inBox) const {
        uint32_t i = index.FirstMatch(point, [&](uint32_t k) { return inBox(order[k]); });
        return i == CellIndex::kNone ? nullptr : order[i];
    }

    // Whether it was built for the list that starts at `first`. Loading only ever puts
    // blocks at the head of the list, so the head tells whether the list grew since.
    bool Covers(const Block* first) const { return (order.empty() ? nullptr : order[0]) == first; }

    std::vector<Block*> order;
    CellIndex index;
};
