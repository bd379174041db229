#include "volume/marchingtetra.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "volume/parallel.h"
#include "volume/prefetch.h"

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

// What marching reads of one block: the vertex numbers of its tetrahedra and, per vertex, the
// field's scalar and the position.
struct BlockView {
    const uint32_t* numbers;  // four per tetrahedron
    const double* scalar;
    const FlowNode* nodes;
};

// Where the surface crosses `edge` of the tetrahedron with vertex numbers `tet`,
// interpolated from the end with the smaller scalar, so that every tetrahedron sharing the
// edge computes the very same point. `s` holds the scalars of the tetrahedron's four
// vertices.
void EdgeCrossing(const BlockView& view, const uint32_t* tet, const double* s, int edge,
                  double value, double* p) {
    const int* vert = edges[edge];
    double deltaScalar = s[vert[1]] - s[vert[0]];
    int v1 = vert[0], v2 = vert[1];
    if (!(deltaScalar > 0)) {
        v1 = vert[1];
        v2 = vert[0];
        deltaScalar = -deltaScalar;
    }
    double t = deltaScalar == 0 ? 0 : (value - s[v1]) / deltaScalar;
    const double* a = view.nodes[tet[v1]].point;
    const double* b = view.nodes[tet[v2]].point;
    for (int k = 0; k < 3; ++k) p[k] = a[k] + t * (b[k] - a[k]);
}

// Adds the triangles of case `c` (neither 0 nor 15) to `out`; returns how many. Kept out of
// line so that the loop over the many tetrahedra the surface misses stays small.
__attribute__((noinline)) int AddCase(const BlockView& view, const uint32_t* tet, const double* s,
                                      int c, double value, TriangleStore::Writer* out) {
    // The two triangles of a quadrilateral share two edges; each crossing is found once.
    double p[6][3];
    unsigned found = 0;
    int count = 0;
    for (const EDGE_LIST* e = triCases[c].edges; *e >= 0; e += 3, ++count) {
        for (int i = 0; i < 3; ++i) {
            if (found & (1u << e[i])) continue;
            EdgeCrossing(view, tet, s, e[i], value, p[e[i]]);
            found |= 1u << e[i];
        }
        out->Add(p[e[0]], p[e[1]], p[e[2]]);
    }
    return count;
}

// One tetrahedron: the triangles it adds.
inline int March(const BlockView& view, const uint32_t* tet, double value,
                 TriangleStore::Writer* out) {
    static const int CASE_MASK[4] = {1, 2, 4, 8};
    double s[4];
    int c = 0;
    for (int i = 0; i < 4; ++i) {
        s[i] = view.scalar[tet[i]];
        c |= s[i] >= value ? CASE_MASK[i] : 0;
    }
    if (c == 0 || c == 15) return 0;
    return AddCase(view, tet, s, c, value, out);
}

// False when every scalar within the extremes `range` lies below the value, or all lie at or
// above it, or the value is NaN: then no tetrahedron among them is cut.
bool Cuts(const float* range, double value) {
    return value <= range[1] && !(value <= range[0]);
}

// Marches the runs of block `b` that the value cuts, using the block's run ranges.
int MarchBlock(const TetrahedralVolume& vol, size_t b, FieldVar field, double value,
               TriangleStore::Writer* out) {
    const float* ranges = vol.GetRunRanges(b, field);
    // A field outside the enumeration has a NaN scalar: no vertex is at or above the value.
    if (!ranges || !Cuts(ranges, value)) return 0;
    const BlockView view = {vol.GetVertexNumbers(b), vol.GetScalars(field), vol.GetNodes()};
    const uint32_t count = vol.GetBlocks()[b].num_Tetra;
    int triCount = 0;
    ranges += 2;
    for (uint32_t first = 0; first < count; first += kRunTetra, ranges += 2) {
        if (!Cuts(ranges, value)) continue;
        const uint32_t end = std::min(first + kRunTetra, count);
        // The run's vertices may lie scattered over the scalar array: ask for all of them at
        // once rather than waiting for each in turn.
        for (uint32_t i = 4 * first; i < 4 * end; ++i) Prefetch(&view.scalar[view.numbers[i]]);
        for (uint32_t i = first; i < end; ++i) {
            triCount += March(view, view.numbers + 4 * (size_t)i, value, out);
        }
    }
    return triCount;
}

}  // namespace

namespace {

// Extracts blocks [first, end), telling `finished` about each block with its triangle count.
// Returns the number of blocks, from `first` on in list order, whose triangles are in `out`.
template <typename Finished>
size_t Extract(const TetrahedralVolume& vol, FieldVar field, double value, size_t first, size_t end,
               TriangleStore* out, OrderedConsole* output, Progress* progress, int threads,
               Finished finished) {
    out->Clear();
    const size_t count = end - first;
    std::vector<std::vector<TriangleRun>> parts(count);
    const int workers = (int)std::min<size_t>(ResolveThreads(threads), std::max<size_t>(count, 1));
    std::mutex lock;
    std::vector<TriangleStore::Writer> writers(workers, TriangleStore::Writer(out, &lock));
    ParallelFor(count, workers, [&](size_t i, int worker) {
        if (progress && progress->Cancelled()) return;
        TriangleStore::Writer& writer = writers[worker];
        int triCount = MarchBlock(vol, first + i, field, value, &writer);
        writer.EndPart(&parts[i]);
        finished(i, triCount);
        if (progress) ++progress->done;
    });
    // After a cancellation, the blocks finished before it in list order.
    const size_t done = output->Printed();
    for (size_t i = 0; i < done; ++i) out->Append(parts[i]);
    return done;
}

}  // namespace

bool ExtractIsosurface(const TetrahedralVolume& vol, FieldVar field, double value,
                       TriangleStore* out, Console console, Progress* progress, int threads) {
    const size_t count = vol.GetBlocks().size();
    if (progress) progress->total = count;
    OrderedConsole output(console, count);
    const size_t done = Extract(
        vol, field, value, 0, count, out, &output, progress, threads, [&](size_t b, int triCount) {
            std::string text;
            Console(&text).Print("Block %i processed.. %i triangles added.\n", (int)b + 1,
                                 triCount);
            output.Finish(b, std::move(text));
        });
    return done == count;
}

void ExtractBlocks(const TetrahedralVolume& vol, FieldVar field, double value, size_t first,
                   size_t end, TriangleStore* out, std::vector<uint32_t>* counts, int threads) {
    counts->assign(end - first, 0);
    OrderedConsole output(Console(), end - first);
    Extract(vol, field, value, first, end, out, &output, nullptr, threads,
            [&](size_t i, int triCount) {
                (*counts)[i] = (uint32_t)triCount;
                output.Finish(i, std::string());
            });
}
