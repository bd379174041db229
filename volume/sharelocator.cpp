#include "volume/sharelocator.h"

#include <algorithm>

#include "volume/blocklocator.h"

ShareLocator::ShareLocator(const TetrahedralVolume& volume, const std::vector<size_t>& starts,
                           int part, Console console)
    : vol(volume),
      blocks(volume.GetBlocks()),
      starts(starts),
      first(starts[part]),
      end(starts[part + 1]),
      locator(volume, console) {}

int ShareLocator::Owner(size_t b) const {
    // The last part starting at or before b; empty parts start where the next one does.
    auto after = std::upper_bound(starts.begin(), starts.end() - 1, b);
    return (int)(after - starts.begin()) - 1;
}

ShareLocator::Outcome ShareLocator::Lookup(const double* point, LookupState* s, Vertex* V,
                                           int* part) {
    if (s->stage == LookupState::kChoose) {
        // FindBlock: the guess if its box holds the point, else the first box that does.
        locator.SetCaches(BlockAt(s->guess), nullptr);
        const Block* chosen = locator.ChosenBlock(point);
        const int32_t b = chosen ? (int32_t)(chosen - blocks.data()) : -1;
        if (b != s->guess) s->cell = -1;
        s->guess = b;
        if (b < 0) return kMissing;
        s->stage = LookupState::kGuess;
    }
    if (s->stage == LookupState::kGuess) {
        if (!Owns((size_t)s->guess)) {
            *part = Owner((size_t)s->guess);
            return kElsewhere;
        }
        const Block* block = BlockAt(s->guess);
        locator.SetCaches(block, s->cell < 0 ? nullptr : &block->tetra[s->cell]);
        double weights[4];
        if (const Tetra* tet = locator.SearchGuess(point, weights)) {
            s->cell = (int32_t)(tet - block->tetra.get());
            s->stage = LookupState::kChoose;
            locator.Interpolate(block, tet, weights, point, V);
            return kFound;
        }
        s->cell = -1;
        s->stage = LookupState::kOthers;
        s->next = 0;
    }
    return SearchOthers(point, s, V, part);
}

ShareLocator::Outcome ShareLocator::SearchOthers(const double* point, LookupState* s, Vertex* V,
                                                 int* part) {
    // The other blocks whose boxes hold the point, in list order, as far as this process
    // holds them; the first one held elsewhere passes the lookup on.
    const Tetra* found = nullptr;
    double weights[4];
    uint32_t stop = CellIndex::kNone;
    auto holds = [&](uint32_t k) {
        if (k < (uint32_t)s->next || (int32_t)k == s->guess ||
            !PointLocator::InBox(&blocks[k], point))
            return false;
        if (!Owns(k)) {
            stop = k;
            return true;
        }
        found = locator.SearchBlock(&blocks[k], point, weights);
        return found != nullptr;
    };
    const uint32_t k = vol.GetBlockLocator().FirstMatch(point, holds);
    if (found) {
        s->guess = (int32_t)k;
        s->cell = (int32_t)(found - blocks[k].tetra.get());
        s->stage = LookupState::kChoose;
        locator.Interpolate(&blocks[k], found, weights, point, V);
        return kFound;
    }
    if (stop != CellIndex::kNone) {
        s->next = (int32_t)stop;
        *part = Owner(stop);
        return kElsewhere;
    }
    s->cell = -1;
    s->stage = LookupState::kChoose;
    return kMissing;
}
