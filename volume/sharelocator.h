// Point location in a volume spread over several processes, each holding a consecutive run
// of blocks (see TetrahedralVolume::ReadShare). A lookup runs as far as this process's
// blocks allow and then says which process must go on with it; its caches travel in a
// LookupState, so that the answers, and the notices printed on the way, are exactly those of
// one PointLocator over the whole volume.
#pragma once

#include <cstdint>
#include <vector>

#include "volume/console.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

// A lookup on its way, and the caches of the searcher it stands for; plain data that can be
// sent between processes.
struct LookupState {
    enum Stage : int32_t { kChoose = 0, kGuess = 1, kOthers = 2 };
    int32_t guess = -1;  // the cached block, or -1
    int32_t cell = -1;   // the cached tetrahedron in it, or -1
    int32_t stage = kChoose;
    int32_t next = 0;  // kOthers: the first block (list order) not yet considered
};

class ShareLocator {
public:
    enum Outcome { kFound, kMissing, kElsewhere };

    // `starts` as SplitBlocks gives them; this process is number `part` and `volume` holds
    // the tetrahedra of its blocks. Notices go to `console`.
    ShareLocator(const TetrahedralVolume& volume, const std::vector<size_t>& starts, int part,
                 Console console = Console());

    // Goes on with the lookup of `point`: kFound with `V` written, kMissing, or kElsewhere
    // with the process that must go on in `*part`. The state then says where to resume,
    // and after kFound or kMissing holds the caches for the next lookup (stage kChoose).
    Outcome Lookup(const double* point, LookupState* state, Vertex* V, int* part);

    void SetConsole(Console out) { locator.SetConsole(out); }
    // The process holding block `b`.
    int Owner(size_t b) const;

private:
    bool Owns(size_t b) const { return b >= first && b < end; }
    const Block* BlockAt(int32_t b) const { return b < 0 ? nullptr : &blocks[b]; }
    Outcome SearchOthers(const double* point, LookupState* state, Vertex* V, int* part);

    const TetrahedralVolume& vol;
    const std::vector<Block>& blocks;
    std::vector<size_t> starts;
    size_t first;
    size_t end;
    PointLocator locator;
};
