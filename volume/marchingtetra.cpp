#include "volume/marchingtetra.h"

#include <algorithm>
#include <cmath>
#include <limits>

// An edge number (0 to 5), or -1 to end a list.
typedef int EDGE_LIST;

// Up to two triangles as groups of three edges, then -1.
typedef struct {
    EDGE_LIST edges[7];
} TRIANGLE_CASES;

// The two vertex numbers (positions in Tetra::v) of each edge.
static const int edges[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};

// Indexed by the case number, whose bit i is set when vertex i lies at or above the value.
static const TRIANGLE_CASES triCases[16] = {
    {{-1, -1, -1, -1, -1, -1, -1}}, {{0, 3, 2, -1, -1, -1, -1}}, {{0, 1, 4, -1, -1, -1, -1}},
    {{3, 2, 4, 4, 2, 1, -1}},       {{1, 2, 5, -1, -1, -1, -1}}, {{3, 5, 1, 3, 1, 0, -1}},
    {{0, 2, 5, 0, 5, 4, -1}},       {{3, 5, 4, -1, -1, -1, -1}}, {{3, 4, 5, -1, -1, -1, -1}},
    {{0, 4, 5, 0, 5, 2, -1}},       {{0, 5, 3, 0, 1, 5, -1}},    {{5, 2, 1, -1, -1, -1, -1}},
    {{3, 4, 1, 3, 1, 2, -1}},       {{0, 4, 1, -1, -1, -1, -1}}, {{0, 2, 3, -1, -1, -1, -1}},
    {{-1, -1, -1, -1, -1, -1, -1}},
};

namespace {

// Where the surface crosses `edge`, interpolated from the end with the smaller scalar, so that
// every tetrahedron sharing the edge computes the very same point. `s` holds the scalars of
// the tetrahedron's four vertices.
void EdgeCrossing(const Tetra* tet, const double* s, int edge, double value, double* p) {
    const int* vert = edges[edge];
    double deltaScalar = s[vert[1]] - s[vert[0]];
    int v1 = vert[0], v2 = vert[1];
    if (!(deltaScalar > 0)) {
        v1 = vert[1];
        v2 = vert[0];
        deltaScalar = -deltaScalar;
    }
    double t = deltaScalar == 0 ? 0 : (value - s[v1]) / deltaScalar;
    const double* a = tet->v[v1]->point;
    const double* b = tet->v[v2]->point;
    for (int k = 0; k < 3; ++k) p[k] = a[k] + t * (b[k] - a[k]);
}

// Adds the triangles of case `c` (neither 0 nor 15) to `out`; returns how many. Kept out of
// line so that the loop over the many tetrahedra the surface misses stays small.
__attribute__((noinline)) int AddCase(const Tetra* tet, const double* s, int c, double value,
                                      TriangleStore* out) {
    // The two triangles of a quadrilateral share two edges; each crossing is found once.
    double p[6][3];
    unsigned found = 0;
    int count = 0;
    for (const EDGE_LIST* e = triCases[c].edges; *e >= 0; e += 3, ++count) {
        for (int i = 0; i < 3; ++i) {
            if (found & (1u << e[i])) continue;
            EdgeCrossing(tet, s, e[i], value, p[e[i]]);
            found |= 1u << e[i];
        }
        out->Add(p[e[0]], p[e[1]], p[e[2]]);
    }
    return count;
}

// The scalars of a tetrahedron's four vertices, with the member fixed at compile time.
template <double Vertex::*Scalar>
inline void LoadScalars(const Tetra* tet, double* s) {
    for (int i = 0; i < 4; ++i) s[i] = tet->v[i]->*Scalar;
}

// One tetrahedron whose vertex scalars are `s`.
inline int MarchScalars(const Tetra* tet, const double* s, double value, TriangleStore* out) {
    static const int CASE_MASK[4] = {1, 2, 4, 8};
    int c = 0;
    for (int i = 0; i < 4; ++i) c |= s[i] >= value ? CASE_MASK[i] : 0;
    if (c == 0 || c == 15) return 0;
    return AddCase(tet, s, c, value, out);
}

template <double Vertex::*Scalar>
inline int March(const Tetra* tet, double value, TriangleStore* out) {
    double s[4];
    LoadScalars<Scalar>(tet, s);
    return MarchScalars(tet, s, value, out);
}

// Tetrahedra per run of the run ranges: a run is a small, spatially coherent piece of its
// block, so a surface cuts few of them, while their extremes (stored as floats, 8 bytes per
// field) stay a small fraction of the tetrahedra's memory (32 bytes each).
const uint32_t kRunTetra = 16;

// Floats of the run ranges per block: the block's own (min, max), then one pair per run.
size_t RangeFloats(uint32_t numTetra) {
    return 2 + 2 * (size_t)((numTetra + kRunTetra - 1) / kRunTetra);
}

// The extremes rounded outwards to float, so that a range never claims less than it holds.
float FloorToFloat(double x) {
    float f = (float)x;
    return f > x ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}
float CeilToFloat(double x) {
    float f = (float)x;
    return f < x ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

// Extremes of a set of scalars as the ranges keep them: NaN scalars are left out of the
// maximum, and any NaN makes the minimum NaN, so that no value compares as at or below it.
struct Extremes {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    bool nan = false;

    void Add(double x) {
        lo = x < lo ? x : lo;
        hi = x > hi ? x : hi;
        nan |= std::isnan(x);
    }
    void Add(const Extremes& e) {
        lo = e.lo < lo ? e.lo : lo;
        hi = e.hi > hi ? e.hi : hi;
        nan |= e.nan;
    }
    void Store(float* range) const {
        range[0] = nan ? std::numeric_limits<float>::quiet_NaN() : FloorToFloat(lo);
        range[1] = CeilToFloat(hi);
    }
};

// False when every scalar within the extremes `range` lies below the value, or all lie at or
// above it, or the value is NaN: then no tetrahedron among them is cut.
bool Cuts(const float* range, double value) {
    return value <= range[1] && !(value <= range[0]);
}

// Marches the runs of a block that the value cuts, using the block's recorded ranges.
template <double Vertex::*Scalar>
int MarchRuns(const Block* block, const float* ranges, double value, TriangleStore* out) {
    if (!Cuts(ranges, value)) return 0;
    int triCount = 0;
    ranges += 2;
    for (uint32_t first = 0; first < block->num_Tetra; first += kRunTetra, ranges += 2) {
        if (!Cuts(ranges, value)) continue;
        const uint32_t end = std::min(first + kRunTetra, block->num_Tetra);
        // The run's vertices lie scattered over the vertex array: ask for all their scalars
        // at once rather than waiting for each in turn.
        for (uint32_t i = first; i < end; ++i) {
            for (const Vertex* v : block->tetra[i].v) __builtin_prefetch(&(v->*Scalar));
        }
        for (uint32_t i = first; i < end; ++i) {
            triCount += March<Scalar>(&block->tetra[i], value, out);
        }
    }
    return triCount;
}

// Marches every tetrahedron of a block and records the block's ranges.
template <double Vertex::*Scalar>
int MarchAndRecord(const Block* block, float* ranges, double value, TriangleStore* out) {
    int triCount = 0;
    Extremes whole;
    float* run = ranges + 2;
    for (uint32_t first = 0; first < block->num_Tetra; first += kRunTetra, run += 2) {
        const uint32_t end = std::min(first + kRunTetra, block->num_Tetra);
        Extremes part;
        for (uint32_t i = first; i < end; ++i) {
            double s[4];
            LoadScalars<Scalar>(&block->tetra[i], s);
            for (double x : s) part.Add(x);
            triCount += MarchScalars(&block->tetra[i], s, value, out);
        }
        part.Store(run);
        whole.Add(part);
    }
    whole.Store(ranges);
    return triCount;
}

// Marches one block; the first extraction of `field` records the block's ranges as it goes.
template <double Vertex::*Scalar>
int MarchBlock(const Block* block, RunRanges& summary, double value, TriangleStore* out) {
    int triCount = 0;
    bool recorded = false;
    std::call_once(summary.once, [&] {
        summary.ranges.reset(new float[RangeFloats(block->num_Tetra)]);
        triCount = MarchAndRecord<Scalar>(block, summary.ranges.get(), value, out);
        recorded = true;
    });
    if (!recorded) triCount = MarchRuns<Scalar>(block, summary.ranges.get(), value, out);
    return triCount;
}

int MarchBlock(const TetrahedralVolume& vol, size_t b, FieldVar field, double value,
               TriangleStore* out) {
    const Block* block = &vol.GetBlocks()[b];
    switch (field) {
        case fieldDensity:
            return MarchBlock<&Vertex::Density>(block, vol.GetRunRanges(b, field), value, out);
        case fieldEnergy:
            return MarchBlock<&Vertex::Energy>(block, vol.GetRunRanges(b, field), value, out);
        case fieldMomentum:
            return MarchBlock<&Vertex::MomentumMag>(block, vol.GetRunRanges(b, field), value, out);
    }
    return 0;  // a field outside the enumeration has a NaN scalar: no vertex is at or above
}

}  // namespace

bool ExtractIsosurface(const TetrahedralVolume& vol, FieldVar field, double value,
                       TriangleStore* out, Console console, Progress* progress) {
    out->Clear();
    const size_t count = vol.GetBlocks().size();
    if (progress) progress->total = count;
    for (size_t b = 0; b < count; ++b) {
        if (progress && progress->Cancelled()) return false;
        int triCount = MarchBlock(vol, b, field, value, out);
        console.Print("Block %i processed.. %i triangles added.\n", (int)b + 1, triCount);
        if (progress) ++progress->done;
    }
    return true;
}
