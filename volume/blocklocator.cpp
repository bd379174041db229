#include "volume/blocklocator.h"

#include <cmath>

namespace {

// Files the finite boxes; a box with an infinite corner is tested for every point, and one
// that is empty on some axis (min not below max, or NaN) can never hold a point.
CellIndex IndexBoxes(Arena* arena, const std::vector<Block>& blocks) {
    std::vector<WorldBox> boxes(blocks.size());
    std::vector<CellIndex::Kind> kinds(blocks.size(), CellIndex::kBoxed);
    for (size_t i = 0; i < blocks.size(); ++i) {
        for (int a = 0; a < 3; ++a) {
            double lo = blocks[i].min[a], hi = blocks[i].max[a];
            boxes[i].lo[a] = lo;
            boxes[i].hi[a] = hi;
            if (!(lo < hi)) {
                kinds[i] = CellIndex::kDegenerate;
            } else if (kinds[i] == CellIndex::kBoxed && (std::isinf(lo) || std::isinf(hi))) {
                kinds[i] = CellIndex::kAlwaysTested;
            }
        }
    }
    return CellIndex(arena, boxes, kinds);
}

}  // namespace

BlockLocator::BlockLocator(Arena* arena, const std::vector<Block>& blocks)
    : index(IndexBoxes(arena, blocks)) {}
