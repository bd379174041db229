#include "volume/blocklocator.h"

#include <cmath>

namespace {

std::vector<Block*> ListOrder(Block* first) {
    std::vector<Block*> order;
    for (Block* b = first; b; b = b->next) order.push_back(b);
    return order;
}

// Files the finite boxes; a box with an infinite corner is tested for every point, and one
// that is empty on some axis (min not below max, or NaN) can never hold a point.
CellIndex IndexBoxes(const std::vector<Block*>& order) {
    std::vector<WorldBox> boxes(order.size());
    std::vector<CellIndex::Kind> kinds(order.size(), CellIndex::kBoxed);
    for (size_t i = 0; i < order.size(); ++i) {
        for (int a = 0; a < 3; ++a) {
            double lo = order[i]->min[a], hi = order[i]->max[a];
            boxes[i].lo[a] = lo;
            boxes[i].hi[a] = hi;
            if (!(lo < hi)) {
                kinds[i] = CellIndex::kDegenerate;
            } else if (kinds[i] == CellIndex::kBoxed && (std::isinf(lo) || std::isinf(hi))) {
                kinds[i] = CellIndex::kAlwaysTested;
            }
        }
    }
    return CellIndex(boxes, kinds);
}

}  // namespace

BlockLocator::BlockLocator(Block* first) : order(ListOrder(first)), index(IndexBoxes(order)) {}
