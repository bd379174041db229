#include "volume/pointlocator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "volume/blocklocator.h"
#include "volume/cellindex.h"
#include "volume/prefetch.h"

namespace {

// A tetrahedron holds a point when each barycentric weight lies in [kLow, kHigh].
const double kLow = -0.001;
const double kHigh = 1.001;

// How far the index grows a tetrahedron's box, per unit of its extent on that axis. A point
// whose weights pass the inside test lies within 0.002 extents of the box: it overshoots by
// at most the sum of its negative weights, each at least -0.001, and with three of them the
// fourth weight would exceed 1.001. The rest covers the rounding of the weights and of the
// grown box itself.
const double kBoxGrowth = 0.005;
// Largest (largest edge component)^3 / |determinant| for which that box is trusted. Up to this
// ratio the rounding of the weights stays over ten times below the margin that kBoxGrowth leaves,
// for any point outside the grown box; beyond it a tetrahedron is tested everywhere.
const double kMaxSkew = 1e4;
// The bound above needs the products of edges in the normal double range, and the grown
// box's own rounding needs extents not too small for the coordinates they sit at.
const double kMinEdge = 1e-60;
const double kMaxEdge = 1e60;
const double kMinRelativeExtent = 1e-12;

// How far below the inside test's bound a weight may reach over a cell before the index
// leaves the tetrahedron out of the cell: far more than the rounding of the weights.
const double kPlaneMargin = 0.01;

void Cross(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

bool Within(double w) {
    return w >= kLow && w <= kHigh;
}

// Component-wise difference a - b.
void Difference(const double* a, const double* b, double* out) {
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

// Cramer's rule, given the three numerator determinants and det: writes the weights and
// returns whether all four pass the inside test.
int Solve(const double* numerator, double det, double* weights) {
    double pcoords[3] = {numerator[0] / det, numerator[1] / det, numerator[2] / det};
    double p4 = 1 - pcoords[0] - pcoords[1] - pcoords[2];
    weights[0] = p4;
    weights[1] = pcoords[0];
    weights[2] = pcoords[1];
    weights[3] = pcoords[2];
    return Within(pcoords[0]) && Within(pcoords[1]) && Within(pcoords[2]) && Within(p4);
}

// A numerator beyond the inside test's bounds (times det) by more than a relative
// kRejectMargin fails the test whatever the division rounds to.
const double kRejectMargin = 1e-9;
const double kRejectLow = -kLow * (1 + kRejectMargin);
const double kRejectHigh = kHigh * (1 + kRejectMargin);

// The corners of tetrahedron i of a block, read from the volume's packed nodes through the
// block's vertex numbers: the same numbers as through Tetra::v.
struct Corners {
    const double* p[4];

    Corners(const FlowNode* nodes, const uint32_t* numbers, uint32_t i) {
        for (int k = 0; k < 4; ++k) p[k] = nodes[numbers[4 * (size_t)i + k]].point;
    }
};

// The three edges from corner 0. Every evaluation and the index form them this one way, so
// that the index judges a tetrahedron on the numbers that the evaluation sees.
void Edges(const Corners& corners, double edge[3][3]) {
    for (int k = 0; k < 3; ++k) Difference(corners.p[k + 1], corners.p[0], edge[k]);
}

// EvaluateCell for a tetrahedron known not to be degenerate, with the same result and, when
// it holds the point, the same weights; but it gives up at the first numerator that settles
// the answer, before any division, which spares most rejected candidates most of the work.
// NaNs never give up early.
int EvaluateCandidate(const Corners& corners, const double* point, double* weights) {
    double rhs[3], c[3][3];
    Difference(point, corners.p[0], rhs);
    Edges(corners, c);
    double det = PointLocator::determinant(c[0], c[1], c[2]);
    double size = std::fabs(det), sign = det < 0 ? -1 : 1;
    double low = -kRejectLow * size, high = kRejectHigh * size;
    auto settled = [&](double numerator) {
        double scaled = sign * numerator;  // the weight times |det|
        return scaled < low || scaled > high;
    };
    double numerator[3];
    if (settled(numerator[0] = PointLocator::determinant(rhs, c[1], c[2]))) return 0;
    if (settled(numerator[1] = PointLocator::determinant(c[0], rhs, c[2]))) return 0;
    if (settled(numerator[2] = PointLocator::determinant(c[0], c[1], rhs))) return 0;
    return Solve(numerator, det, weights);
}

// The tetrahedron's box grown by kBoxGrowth of its extent per axis; false when its extents
// are too small for its coordinates to grow it reliably.
bool GrownBox(const Corners& corners, WorldBox* box) {
    for (int a = 0; a < 3; ++a) {
        double lo = corners.p[0][a], hi = lo;
        for (int k = 1; k < 4; ++k) {
            double x = corners.p[k][a];
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
        }
        double extent = hi - lo;
        if (!(extent >= kMinRelativeExtent * std::max(std::fabs(lo), std::fabs(hi)))) return false;
        box->lo[a] = lo - kBoxGrowth * extent;
        box->hi[a] = hi + kBoxGrowth * extent;
    }
    return true;
}

}  // namespace

BlockSearch IndexTetrahedra(Arena* arena, const Block& block, const FlowNode* nodes,
                            const uint32_t* numbers) {
    std::vector<WorldBox> boxes(block.num_Tetra);
    std::vector<CellIndex::Kind> kinds(block.num_Tetra, CellIndex::kAlwaysTested);
    std::vector<WeightPlanes> planes(block.num_Tetra);
    // The frames' origin: the block's centre, where its tetrahedra are.
    double centre[3];
    for (int a = 0; a < 3; ++a) {
        centre[a] = 0.5 * block.min[a] + 0.5 * block.max[a];
        if (!std::isfinite(centre[a])) centre[a] = 0;
    }
    // In the arena, like the frames themselves: a volume of many small blocks allocates
    // nothing per block for them.
    TetraFrames* frames = new (arena->Allocate<TetraFrames>(1))
        TetraFrames(arena, block.num_Tetra, centre, kLow, kHigh);
    for (uint32_t i = 0; i < block.num_Tetra; ++i) {
        const Corners corners(nodes, numbers, i);
        double c[3][3];
        Edges(corners, c);
        double det = PointLocator::determinant(c[0], c[1], c[2]);
        if (det == 0) {
            kinds[i] = CellIndex::kDegenerate;
            continue;
        }
        double edge = 0;
        for (const double* e : c) {
            for (int a = 0; a < 3; ++a) edge = std::max(edge, std::fabs(e[a]));
        }
        // Written so that NaN and infinite coordinates leave the tetrahedron tested everywhere.
        bool sane =
            edge >= kMinEdge && edge <= kMaxEdge && edge * edge * edge <= kMaxSkew * std::fabs(det);
        if (!sane || !GrownBox(corners, &boxes[i])) continue;
        kinds[i] = CellIndex::kBoxed;
        // Cramer's rule: weight k + 1 is the offset's dot product with edge[k+1] x edge[k+2],
        // over det.
        WeightPlanes& w = planes[i];
        for (int k = 0; k < 3; ++k) {
            w.corner[k] = corners.p[0][k];
            Cross(c[(k + 1) % 3], c[(k + 2) % 3], w.row[k]);
            for (int a = 0; a < 3; ++a) w.row[k][a] /= det;
        }
        // The grown box holds every point that the inside test accepts (see kBoxGrowth).
        frames->Set(i, w, edge * edge / std::fabs(det), boxes[i].lo, boxes[i].hi);
    }
    BlockSearch search;
    search.frames = frames;
    search.index = std::make_unique<CellIndex>(arena, boxes, kinds, &planes, kLow - kPlaneMargin);
    return search;
}

PointLocator::PointLocator(const TetrahedralVolume& volume, Console out)
    : vol(volume), console(out) {}

double PointLocator::determinant(const double* a, const double* b, const double* c) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) + a[1] * (b[2] * c[0] - b[0] * c[2]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
}

void PointLocator::ReportDegenerate(uint32_t times) {
    for (uint32_t i = 0; i < times; ++i) console.Print("Aborting because Det = 0\n");
}

int PointLocator::EvaluateCell(const Tetra* tet, const double* point, double* weights) {
    // The offset of the point and the edges c1, c2, c3, all from v[0].
    double rhs[3], c[3][3];
    Difference(point, tet->v[0]->point, rhs);
    for (int k = 0; k < 3; ++k) Difference(tet->v[k + 1]->point, tet->v[0]->point, c[k]);
    double det = determinant(c[0], c[1], c[2]);
    if (det == 0) {
        ReportDegenerate(1);
        return 0;
    }
    // Cramer's rule: the coordinates of rhs in the frame c1, c2, c3.
    double numerator[3] = {determinant(rhs, c[1], c[2]), determinant(c[0], rhs, c[2]),
                           determinant(c[0], c[1], rhs)};
    return Solve(numerator, det, weights);
}

const Block* PointLocator::ChosenBlock(const double* point) const {
    if (guess && InBox(guess, point)) return guess;
    const std::vector<Block>& blocks = vol.GetBlocks();
    if (referenceScan || blocks.empty()) {
        for (const Block& b : blocks) {
            if (InBox(&b, point)) return &b;
        }
        return nullptr;
    }
    uint32_t b = vol.GetBlockLocator().FirstMatch(
        point, [&](uint32_t k) { return InBox(&blocks[k], point); });
    return b == CellIndex::kNone ? nullptr : &blocks[b];
}

const Block* PointLocator::FindBlock(const double* point) {
    // A prefetched lookup of this very point with the same cache has chosen already.
    const Block* chosen =
        ahead.chosen && ahead.guess == guess && memcmp(ahead.point, point, sizeof ahead.point) == 0
            ? ahead.block
            : ChosenBlock(point);
    if (chosen != guess) cellGuess = nullptr;
    return guess = chosen;
}

const Tetra* PointLocator::ScanBlock(const Block* block, const double* point, double* weights) {
    for (uint32_t i = 0; i < block->num_Tetra; ++i) {
        if (EvaluateCell(&block->tetra[i], point, weights)) return &block->tetra[i];
    }
    return nullptr;
}

const Tetra* PointLocator::SearchIndex(const Block* block, const double* point, double* weights) {
    const size_t b = block - vol.GetBlocks().data();
    const CellIndex& index = vol.GetCellIndex(b);
    const FlowNode* nodes = vol.GetNodes();
    const uint32_t* numbers = vol.GetVertexNumbers(b);
    const TetraFrames& frames = vol.GetFrames(b);
    float relative[3];
    frames.Relative(point, relative);
    auto test = [&](uint32_t i) {
        return !frames.Rejects(i, relative) &&
               EvaluateCandidate(Corners(nodes, numbers, i), point, weights) != 0;
    };
    // The prefetched box tests of this very point in this block stand for the search's own.
    uint32_t found;
    const bool prefetched = ahead.ready && ahead.block == block &&
                            memcmp(ahead.point, point, sizeof ahead.point) == 0 &&
                            ahead.probe.FirstMatch(test, &found);
    if (!prefetched) found = index.FirstMatch(point, test);
    // The scan would have met these degenerate tetrahedra on its way to the answer.
    ReportDegenerate(index.DegenerateBefore(found));
    return found == CellIndex::kNone ? nullptr : &block->tetra[found];
}

const Tetra* PointLocator::SearchBlock(const Block* block, const double* point, double* weights) {
    return referenceScan ? ScanBlock(block, point, weights) : SearchIndex(block, point, weights);
}

const Tetra* PointLocator::SearchOtherBlocks(const Block* searched, const double* point,
                                             double* weights) {
    const std::vector<Block>& blocks = vol.GetBlocks();
    const Tetra* found = nullptr;
    // Searches a block whose box holds the point; true when it has a tetrahedron holding it.
    auto holds = [&](const Block* b) {
        if (b == searched || !InBox(b, point)) return false;
        found = SearchBlock(b, point, weights);
        if (found) guess = b;
        return found != nullptr;
    };
    if (referenceScan) {
        for (const Block& b : blocks) {
            if (holds(&b)) break;
        }
    } else {
        vol.GetBlockLocator().FirstMatch(point, [&](uint32_t k) { return holds(&blocks[k]); });
    }
    return found;
}

const Tetra* PointLocator::SearchGuess(const double* point, double* weights) {
    const Block* block = guess;
    // The cached tetrahedron was found before, so it is not degenerate; its frame may show at
    // once that it cannot hold the point.
    if (cellGuess) {
        const size_t b = block - vol.GetBlocks().data();
        const uint32_t i = (uint32_t)(cellGuess - block->tetra.get());
        const TetraFrames& frames = vol.GetFrames(b);
        float relative[3];
        frames.Relative(point, relative);
        if (!frames.Rejects(i, relative) &&
            EvaluateCandidate(Corners(vol.GetNodes(), vol.GetVertexNumbers(b), i), point,
                              weights)) {
            return cellGuess;
        }
        cellGuess = nullptr;
    }
    return cellGuess = SearchBlock(block, point, weights);
}

const Tetra* PointLocator::FindCell(const double* point, double* weights) {
    const Block* block = FindBlock(point);
    if (!block) return nullptr;
    if (SearchGuess(point, weights)) return cellGuess;
    // Boxes of an unstructured mesh's blocks overlap, so the first box that holds a point
    // need not hold its tetrahedron: the other blocks whose boxes hold it are searched in
    // list order. When none has it, the caches stay on the first block, as after a miss.
    cellGuess = SearchOtherBlocks(block, point, weights);
    return cellGuess;
}

void PointLocator::Interpolate(const Block* block, const Tetra* tet, const double* weights,
                               const double* point, Vertex* V) const {
    const FlowNode* nodes = vol.GetNodes();
    const uint32_t* numbers = vol.GetVertexNumbers(block - vol.GetBlocks().data()) +
                              4 * (size_t)(tet - block->tetra.get());
    const double* m[4];
    for (int k = 0; k < 4; ++k) m[k] = nodes[numbers[k]].momentum;
    for (int a = 0; a < 3; ++a) {
        V->point[a] = point[a];
        V->Momentum[a] = weights[0] * m[0][a] + weights[1] * m[1][a] + weights[2] * m[2][a] +
                         weights[3] * m[3][a];
    }
}

bool PointLocator::InterpolatePoint(const double* point, Vertex* V) {
    double weights[4];
    const Tetra* tet = FindCell(point, weights);
    if (!tet) return false;
    // The caches hold the tetrahedron found and its block.
    Interpolate(guess, tet, weights, point, V);
    return true;
}

void PointLocator::Prefetch(int stage, const double* point) {
    if (referenceScan) return;
    if (stage == 0) {
        for (int a = 0; a < 3; ++a) ahead.point[a] = point[a];
        ahead.ready = false;
        ahead.guess = guess;
        ahead.block = ChosenBlock(point);
        ahead.chosen = true;
        if (!ahead.block) return;
        ahead.blockIndex = ahead.block - vol.GetBlocks().data();
        vol.GetFrames(ahead.blockIndex).Relative(point, ahead.relative);
        ahead.probe.Start(&vol.GetCellIndex(ahead.blockIndex), point);
        return;
    }
    if (!ahead.block) return;
    const TetraFrames& frames = vol.GetFrames(ahead.blockIndex);
    const uint32_t* numbers = vol.GetVertexNumbers(ahead.blockIndex);
    switch (stage) {
        case 1:
            ahead.probe.FetchList();
            break;
        case 2:
            ahead.probe.FindCandidates([&](uint32_t i) { ::Prefetch(frames.Address(i)); });
            ahead.ready = true;
            break;
        case 3:
            // Only the candidates that the frames keep are read further. Four vertex numbers
            // fill an aligned 16 bytes: one cache line.
            ahead.probe.Drop([&](uint32_t i) { return frames.Rejects(i, ahead.relative); });
            ahead.probe.ForCandidates([&](uint32_t i) { ::Prefetch(numbers + 4 * (size_t)i); });
            break;
        case 4: {
            const FlowNode* nodes = vol.GetNodes();
            ahead.probe.ForCandidates([&](uint32_t i) {
                for (int k = 0; k < 4; ++k) ::Prefetch(&nodes[numbers[4 * (size_t)i + k]]);
            });
            break;
        }
    }
}
