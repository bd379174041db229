#include "tools/kavconvert/blocks.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "tools/kavconvert/progress.h"

namespace kav {

namespace {

class Partitioner {
public:
    Partitioner(const TetMesh& m, uint32_t maxTets)
        : mesh(m),
          limit(maxTets),
          order(m.tets.size()),
          keys(m.tets.size()),
          lowEnd(m.tets.size()),
          highEnd(m.tets.size()),
          progress("Forming blocks", m.tets.size()) {
        centroids.resize(m.tets.size());
        for (size_t i = 0; i < m.tets.size(); ++i) {
            order[i] = i;
            for (int a = 0; a < 3; ++a) {
                double sum = 0;
                for (uint32_t v : m.tets[i].v) sum += m.vertices[v].point[a];
                centroids[i][a] = sum / 4;
            }
        }
    }

    // Cuts the tetrahedra order[lo, hi) into blocks, appending them in order.
    void Cut(size_t lo, size_t hi) {
        size_t n = hi - lo;
        if (n <= limit) {
            ranges.emplace_back(lo, hi);
            done += n;
            progress.Update(done);
            return;
        }
        SortAlong(LongestAxis(lo, hi), lo, hi);
        size_t k = BestCut(lo, hi);
        Cut(lo, k);
        Cut(k, hi);
    }

    // The blocks, with the mesh's tetrahedra reordered to match them.
    std::vector<BlockSpan> Finish(TetMesh* out) {
        progress.Finish();
        std::vector<Tet> sorted(order.size());
        for (size_t i = 0; i < order.size(); ++i) sorted[i] = out->tets[order[i]];
        out->tets.swap(sorted);
        std::vector<BlockSpan> blocks;
        for (const auto& r : ranges) blocks.push_back(Span(*out, r.first, r.second));
        return blocks;
    }

private:
    int LongestAxis(size_t lo, size_t hi) const {
        double min[3], max[3];
        for (int a = 0; a < 3; ++a) min[a] = max[a] = centroids[order[lo]][a];
        for (size_t i = lo; i < hi; ++i) {
            for (int a = 0; a < 3; ++a) {
                min[a] = std::min(min[a], centroids[order[i]][a]);
                max[a] = std::max(max[a], centroids[order[i]][a]);
            }
        }
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (max[a] - min[a] > max[axis] - min[axis]) axis = a;
        }
        return axis;
    }

    // Sorts order[lo, hi) by centroid along `axis` (ties by index, for the same result on
    // every platform), and notes each tetrahedron's extent along it.
    void SortAlong(int axis, size_t lo, size_t hi) {
        for (size_t i = lo; i < hi; ++i) keys[i] = {centroids[order[i]][axis], order[i]};
        std::sort(keys.begin() + lo, keys.begin() + hi);
        for (size_t i = lo; i < hi; ++i) {
            order[i] = keys[i].second;
            const Tet& t = mesh.tets[order[i]];
            double a = mesh.vertices[t.v[0]].point[axis], b = a;
            for (int k = 1; k < 4; ++k) {
                a = std::min(a, mesh.vertices[t.v[k]].point[axis]);
                b = std::max(b, mesh.vertices[t.v[k]].point[axis]);
            }
            lowEnd[i] = a;
            highEnd[i] = b;
        }
    }

    // Where to cut the sorted order[lo, hi): the first half ends before the returned index.
    size_t BestCut(size_t lo, size_t hi) {
        size_t n = hi - lo;
        size_t first = lo + std::max<size_t>(1, n / 4), last = hi - std::max<size_t>(1, n / 4);
        // highEnd becomes the running maximum from the left, lowEnd the minimum from the right.
        for (size_t i = lo + 1; i < hi; ++i) highEnd[i] = std::max(highEnd[i], highEnd[i - 1]);
        for (size_t i = hi - 1; i-- > lo;) lowEnd[i] = std::min(lowEnd[i], lowEnd[i + 1]);
        size_t middle = lo + n / 2, best = middle;
        double bestOverlap = INFINITY;
        for (size_t k = first; k <= last; ++k) {
            double overlap = std::max(0.0, highEnd[k - 1] - lowEnd[k]);
            bool nearer = (k > middle ? k - middle : middle - k) <
                          (best > middle ? best - middle : middle - best);
            if (overlap < bestOverlap || (overlap == bestOverlap && nearer)) {
                bestOverlap = overlap;
                best = k;
            }
        }
        return best;
    }

    static BlockSpan Span(const TetMesh& m, size_t lo, size_t hi) {
        BlockSpan b;
        b.first = lo;
        b.count = static_cast<uint32_t>(hi - lo);
        const Vertex& v0 = m.vertices[m.tets[lo].v[0]];
        for (int a = 0; a < 3; ++a) b.min[a] = b.max[a] = v0.point[a];
        for (size_t i = lo; i < hi; ++i) {
            for (uint32_t v : m.tets[i].v) {
                for (int a = 0; a < 3; ++a) {
                    b.min[a] = std::min(b.min[a], m.vertices[v].point[a]);
                    b.max[a] = std::max(b.max[a], m.vertices[v].point[a]);
                }
            }
        }
        return b;
    }

    const TetMesh& mesh;
    const uint32_t limit;
    std::vector<size_t> order;  // tetrahedron numbers in block order, once cut
    std::vector<std::array<double, 3>> centroids;
    std::vector<std::pair<double, size_t>> keys;  // scratch of SortAlong
    std::vector<double> lowEnd, highEnd;          // scratch of SortAlong and BestCut
    std::vector<std::pair<size_t, size_t>> ranges;
    Progress progress;
    uint64_t done = 0;
};

bool InsidesOverlap(const BlockSpan& a, const BlockSpan& b) {
    for (int k = 0; k < 3; ++k) {
        if (!(a.min[k] < b.max[k] && b.min[k] < a.max[k])) return false;
    }
    return true;
}

}  // namespace

std::vector<BlockSpan> Partition(TetMesh* mesh, uint32_t maxTets) {
    if (mesh->tets.empty()) return {};
    Partitioner p(*mesh, std::max<uint32_t>(1, maxTets));
    p.Cut(0, mesh->tets.size());
    return p.Finish(mesh);
}

uint64_t CountOverlappingBlocks(const std::vector<BlockSpan>& blocks) {
    // A sweep along x: only blocks whose x ranges overlap need the full test.
    std::vector<size_t> byMin(blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) byMin[i] = i;
    std::sort(byMin.begin(), byMin.end(),
              [&](size_t a, size_t b) { return blocks[a].min[0] < blocks[b].min[0]; });
    std::vector<uint8_t> overlaps(blocks.size(), 0);
    for (size_t i = 0; i < byMin.size(); ++i) {
        const BlockSpan& a = blocks[byMin[i]];
        for (size_t j = i + 1; j < byMin.size() && blocks[byMin[j]].min[0] < a.max[0]; ++j) {
            if (InsidesOverlap(a, blocks[byMin[j]])) overlaps[byMin[i]] = overlaps[byMin[j]] = 1;
        }
    }
    return static_cast<uint64_t>(std::count(overlaps.begin(), overlaps.end(), 1));
}

}  // namespace kav
