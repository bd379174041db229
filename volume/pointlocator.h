// One searcher's point location in a read-only volume: the block, the tetrahedron and the
// barycentric weights of a point, and the momentum interpolated there. It keeps the two
// caches that turn the coherence of consecutive queries (a path line's steps) into speed, so
// each thread searches with a locator of its own.
#pragma once

#include <memory>

#include "volume/cellindex.h"
#include "volume/console.h"
#include "volume/tetraframes.h"
#include "volume/tetravolume.h"

class PointLocator {
public:
    // Notices ("Aborting because Det = 0") go to `console`.
    explicit PointLocator(const TetrahedralVolume& volume, Console console = Console());

    // The momentum at `point`, interpolated in the tetrahedron that holds it: true and `V`'s
    // point and momentum written, or false and `V` untouched.
    bool InterpolatePoint(const double* point, Vertex* V);

    // The tetrahedron that holds the point within the inside test's tolerance, with the
    // point's weights, or null. The block whose box is chosen first is searched, then every
    // other block whose box holds the point, in list order; the first holder wins.
    const Tetra* FindCell(const double* point, double* weights);
    // The block whose box is searched first, or null: the guess if its box holds the point,
    // else the first box in list order that does.
    const Block* FindBlock(const double* point);
    // 1 when `tet` holds the point within the tolerance (weights written), else 0; a
    // degenerate tetrahedron prints its notice and holds nothing.
    int EvaluateCell(const Tetra* tet, const double* point, double* weights);
    // The pieces of FindCell, for a search whose steps run in several processes, each
    // holding some of the blocks (see ShareLocator). The block that FindBlock would choose,
    // without touching the caches:
    const Block* ChosenBlock(const double* point) const;
    // FindCell after FindBlock has chosen a block: the cached tetrahedron, then the guess
    // block's own search; null (and no cached tetrahedron) when neither holds the point.
    const Tetra* SearchGuess(const double* point, double* weights);
    // The tetrahedron of `block` that holds the point, or null; notices as FindCell's.
    const Tetra* SearchBlock(const Block* block, const double* point, double* weights);
    // Writes the point and the momentum interpolated with `weights` in tetrahedron `tet` of
    // `block`.
    void Interpolate(const Block* block, const Tetra* tet, const double* weights,
                     const double* point, Vertex* V) const;
    // Sets both caches, as a search that found `cell` in `block` would leave them.
    void SetCaches(const Block* block, const Tetra* cell) {
        guess = block;
        cellGuess = cell;
    }
    // A block's box is open below and closed above; a NaN coordinate lies in no box.
    static bool InBox(const Block* b, const double* point) {
        return b->min[0] < point[0] && point[0] <= b->max[0] && b->min[1] < point[1] &&
               point[1] <= b->max[1] && b->min[2] < point[2] && point[2] <= b->max[2];
    }

    // a . (b x c): the determinant of the matrix with columns a, b, c.
    static double determinant(const double* a, const double* b, const double* c);

    // Where notices go from now on.
    void SetConsole(Console out) { console = out; }

    // Searches blocks by evaluating their tetrahedra one by one instead of through their
    // index. Same answers, much slower; kept as the yardstick for tests and benchmarks.
    void SetReferenceScan(bool on) { referenceScan = on; }

    // The caches: the block found last and the tetrahedron found last (in that block).
    const Block* GetGuess() const { return guess; }
    const Tetra* GetCellGuess() const { return cellGuess; }
    // Empties both caches, as in a new locator.
    void ResetCaches() {
        guess = nullptr;
        cellGuess = nullptr;
    }

    // A lookup's loads, asked for ahead of it in stages 0 .. kPrefetchStages - 1, one after
    // the other, for lookups side by side with other locators' (see TracePathLines), so that
    // their cache misses overlap. The box tests of the last stages then serve the lookup of
    // that very point. The answers are the same with or without.
    static const int kPrefetchStages = 5;
    void Prefetch(int stage, const double* point);

private:
    const Tetra* ScanBlock(const Block* block, const double* point, double* weights);
    const Tetra* SearchIndex(const Block* block, const double* point, double* weights);
    const Tetra* SearchOtherBlocks(const Block* searched, const double* point, double* weights);
    void ReportDegenerate(uint32_t times);

    // The lookup being prefetched.
    struct Lookahead {
        Vector point;
        const Block* guess = nullptr;  // the cached block when the block was chosen
        bool chosen = false;           // `block` is ChosenBlock(point) for that cache
        const Block* block = nullptr;  // the block whose index the probe searches
        size_t blockIndex = 0;
        float relative[3];  // the point as the block's frames take it
        CellIndex::Probe probe;
        bool ready = false;  // the probe has kept its candidates
    };

    const TetrahedralVolume& vol;
    Console console;
    const Block* guess = nullptr;
    const Tetra* cellGuess = nullptr;
    bool referenceScan = false;
    Lookahead ahead;
};

// What point location reads of one block, derived at load: the index over its tetrahedra,
// whose tetrahedron i has corners nodes[numbers[4 * i + k]], and their frames. Their arrays
// are taken from `arena`.
BlockSearch IndexTetrahedra(Arena* arena, const Block& block, const FlowNode* nodes,
                            const uint32_t* numbers);
