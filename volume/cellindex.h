// Spatial index over one block's tetrahedra for point location.
//
// It answers "which tetrahedra could hold this point" with a superset of the true answer, in
// ascending array order, so that testing the candidates in that order finds the same first
// tetrahedron as a scan of the whole array. Each indexed tetrahedron is filed under the cells
// of a uniform grid that its box (grown by the caller to cover the inside test's tolerance)
// overlaps, and keeps that box quantised to 16 bits per axis for a quick rejection.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "volume/arena.h"
#include "volume/prefetch.h"

// Axis-aligned box in world units.
struct WorldBox {
    double lo[3];
    double hi[3];
};

// A tetrahedron's barycentric weights 1..3 as linear functions of the offset from its corner
// 0 (weight 0 is one minus their sum), for filing it only under the cells where all its
// weights can reach the inside test's lower bound, not under every cell its box touches.
struct WeightPlanes {
    double corner[3];
    double row[3][3];
};

class CellIndex {
public:
    // How point location must treat one tetrahedron.
    enum Kind : uint8_t {
        kBoxed,         // can only hold points inside its box: filed in the grid
        kAlwaysTested,  // a box cannot be trusted for it: a candidate everywhere
        kDegenerate,    // never holds a point; counted by DegenerateBefore
    };
    static const uint32_t kNone = UINT32_MAX;

    // `boxes[i]` bounds tetrahedron i when `kinds[i]` is kBoxed; other boxes are ignored. The
    // large arrays are taken from `arena`, which must outlive the index. With `planes`, a
    // filed tetrahedron is left out of the cells in its box where one of its weights stays
    // below `lowest` throughout.
    CellIndex(Arena* arena, const std::vector<WorldBox>& boxes, const std::vector<Kind>& kinds,
              const std::vector<WeightPlanes>* planes = nullptr, double lowest = 0);

    // The first candidate for `point`, in ascending order, for which `test(i)` holds; kNone
    // when there is none. A point outside every box (also a NaN point) only meets the
    // tetrahedra that are tested everywhere.
    template <typename Test>
    uint32_t FirstMatch(const double* point, Test test) const;

    // Number of degenerate tetrahedra that come before `index` in the array (all of them for
    // kNone): a scan up to `index` would have met exactly these.
    uint32_t DegenerateBefore(uint32_t index) const;

    uint64_t MemoryBytes() const;

    class Probe;

private:
    // A box in quantised coordinates, inclusive at both ends.
    struct QuantBox {
        uint16_t lo[3];
        uint16_t hi[3];
    };

    void SetDomain(const std::vector<WorldBox>& boxes, const std::vector<Kind>& kinds);
    // Quantises the filed boxes; returns how many there are and their mean size per axis.
    uint64_t QuantiseBoxes(const std::vector<WorldBox>& boxes, const std::vector<Kind>& kinds,
                           double* mean);
    double FirstCellSide(const double* mean, uint64_t filed) const;
    void ChooseGrid(double cellSide);
    uint64_t CountRefs(const std::vector<Kind>& kinds) const;
    void Fill(Arena* arena, const std::vector<Kind>& kinds);
    template <typename Ref>
    void FillRefs(Arena* arena, const std::vector<Kind>& kinds, ArenaArray<Ref>& refs);
    // Calls visit(c) for each cell c of tetrahedron i's box that may hold one of its points.
    template <typename Visit>
    void ForEachCell(uint32_t i, const std::vector<double>* faces, Visit visit) const;
    // The positions of the cells' faces on each axis: dims + 1 of them.
    void CellFaces(std::vector<double>* faces) const;
    template <typename Ref, typename Test>
    uint32_t Search(const Ref* refs, const double* point, Test test) const;
    uint32_t Quantise(int axis, double value) const;
    uint32_t CellOf(int axis, uint32_t q) const { return (q * (uint32_t)dims[axis]) >> 16; }
    bool Locate(const double* point, uint32_t* q) const;
    bool InBox(uint32_t i, const uint32_t* q) const;

    std::vector<uint32_t> alwaysTested;  // ascending
    std::vector<uint32_t> degenerate;    // ascending
    // The domain holds every filed box: `origin` to `origin` + `extent` per axis, mapped
    // monotonically onto quantised coordinates 0..65535 (`scale` per unit).
    double origin[3] = {0, 0, 0};
    double extent[3] = {-1, -1, -1};
    double scale[3] = {0, 0, 0};
    ArenaArray<QuantBox> boxes;  // per tetrahedron; meaningful for filed ones
    // The grid: `dims` cells per axis over the quantised range. Cell c holds the ascending
    // tetrahedron numbers refs[start[c]] .. refs[start[c + 1] - 1], kept in `narrowRefs` when
    // 16 bits number every tetrahedron of the block, else in `wideRefs`. Empty when nothing
    // is filed.
    int dims[3] = {0, 0, 0};
    ArenaArray<uint32_t> start;
    ArenaArray<uint16_t> narrowRefs;
    ArenaArray<uint32_t> wideRefs;
    // While filling: the planes given.
    const std::vector<WeightPlanes>* planes = nullptr;
    double lowest = 0;
};

// The loads of one search, level by level, for searches that run side by side: each stage
// reads what the one before asked the cache for and asks for the next level, so that the
// cache misses of several searches overlap instead of following one another. The last stage
// keeps the candidates whose boxes hold the point, which the search itself may then take
// instead of testing the boxes again.
class CellIndex::Probe {
public:
    // Stage 1: the cell of `point`; asks for its entry in the cell table.
    void Start(const CellIndex* index, const double* point);
    // Stage 2: reads the cell's entry and asks for its list.
    void FetchList();
    // Stage 3: asks for the boxes of the listed tetrahedra.
    void FetchBoxes() const;
    // Stage 4: keeps the listed tetrahedra whose boxes hold the point, and calls fetch(i) for
    // each, for the caller to ask for its own data of tetrahedron i.
    template <typename Fetch>
    void FindCandidates(Fetch fetch);
    // After stage 4: calls visit(i) for each kept candidate.
    template <typename Visit>
    void ForCandidates(Visit visit) const {
        for (int k = 0; k < kept; ++k) visit(candidate[k]);
    }

    // After stage 4: forgets the kept candidates for which `drop(i)` holds, which the caller
    // knows to fail its test.
    template <typename Test>
    void Drop(Test drop) {
        int k = 0;
        for (int j = 0; j < kept; ++j) {
            candidate[k] = candidate[j];
            k += !drop(candidate[j]);  // no branch to mispredict
        }
        kept = k;
    }

    // After stage 4: true, with the first of the kept candidates in ascending order for which
    // `test(i)` holds in `found` (kNone if none), when they are all that FirstMatch would test
    // for the point; else false, and the search must run as usual.
    template <typename Test>
    bool FirstMatch(Test test, uint32_t* found) const;

private:
    // Listed tetrahedra a probe looks at, and candidates it keeps; a longer list is left to
    // the search itself.
    static const uint32_t kMaxListed = 48;

    template <typename Visit>
    void ForListed(Visit visit) const;

    const CellIndex* index = nullptr;
    uint32_t q[3];
    uint32_t cell = 0;
    uint32_t first = 0;
    uint32_t end = 0;    // the list: first .. end - 1 in the reference array
    bool whole = false;  // the list is complete
    int kept = 0;
    uint32_t candidate[kMaxListed];
};

template <typename Test>
uint32_t CellIndex::FirstMatch(const double* point, Test test) const {
    return narrowRefs.Empty() ? Search(wideRefs.data, point, test)
                              : Search(narrowRefs.data, point, test);
}

template <typename Ref, typename Test>
uint32_t CellIndex::Search(const Ref* refs, const double* point, Test test) const {
    const Ref* ref = nullptr;
    const Ref* refEnd = nullptr;
    uint32_t q[3];
    if (Locate(point, q)) {
        uint32_t cell = (CellOf(2, q[2]) * dims[1] + CellOf(1, q[1])) * dims[0] + CellOf(0, q[0]);
        ref = refs + start[cell];
        refEnd = refs + start[cell + 1];
    }
    if (alwaysTested.empty()) {  // the usual case: one list
        for (; ref != refEnd; ++ref) {
            if (InBox(*ref, q) && test(*ref)) return *ref;
        }
        return kNone;
    }
    // Merge the cell's list with the ascending list of tetrahedra tested everywhere.
    const uint32_t* other = alwaysTested.data();
    const uint32_t* otherEnd = other + alwaysTested.size();
    while (ref != refEnd || other != otherEnd) {
        if (other == otherEnd || (ref != refEnd && *ref < *other)) {
            uint32_t i = *ref++;
            if (InBox(i, q) && test(i)) return i;
        } else {
            uint32_t i = *other++;
            if (test(i)) return i;
        }
    }
    return kNone;
}

inline bool CellIndex::InBox(uint32_t i, const uint32_t* q) const {
    // All six comparisons, without branches: their outcomes are too random to predict.
    const QuantBox& b = boxes[i];
    return (q[0] >= b.lo[0]) & (q[0] <= b.hi[0]) & (q[1] >= b.lo[1]) & (q[1] <= b.hi[1]) &
           (q[2] >= b.lo[2]) & (q[2] <= b.hi[2]);
}

inline void CellIndex::Probe::Start(const CellIndex* searched, const double* point) {
    first = end = 0;
    whole = false;
    kept = 0;
    index = searched->Locate(point, q) ? searched : nullptr;
    if (!index) return;
    cell = (index->CellOf(2, q[2]) * index->dims[1] + index->CellOf(1, q[1])) * index->dims[0] +
           index->CellOf(0, q[0]);
    Prefetch(&index->start[cell]);
}

inline void CellIndex::Probe::FetchList() {
    if (!index) return;
    first = index->start[cell];
    end = index->start[cell + 1];
    whole = end - first <= kMaxListed;
    if (!whole) end = first + kMaxListed;
    if (end == first) return;
    if (index->narrowRefs.Empty()) {
        Prefetch(&index->wideRefs[first]);
        Prefetch(&index->wideRefs[end - 1]);
    } else {
        Prefetch(&index->narrowRefs[first]);
        Prefetch(&index->narrowRefs[end - 1]);
    }
}

template <typename Visit>
void CellIndex::Probe::ForListed(Visit visit) const {
    if (index->narrowRefs.Empty()) {
        for (uint32_t r = first; r < end; ++r) visit(index->wideRefs[r]);
    } else {
        for (uint32_t r = first; r < end; ++r) visit(index->narrowRefs[r]);
    }
}

inline void CellIndex::Probe::FetchBoxes() const {
    // A box straddles two cache lines at times; its first line is enough to ask for ahead.
    if (!index) return;
    ForListed([&](uint32_t i) { Prefetch(&index->boxes[i]); });
}

template <typename Fetch>
void CellIndex::Probe::FindCandidates(Fetch fetch) {
    kept = 0;
    if (!index) return;
    ForListed([&](uint32_t i) {
        candidate[kept] = i;
        kept += index->InBox(i, q);
    });
    for (int k = 0; k < kept; ++k) fetch(candidate[k]);
}

template <typename Test>
bool CellIndex::Probe::FirstMatch(Test test, uint32_t* found) const {
    if (!index || !whole || !index->alwaysTested.empty()) return false;
    *found = kNone;
    for (int k = 0; k < kept; ++k) {
        if (test(candidate[k])) {
            *found = candidate[k];
            break;
        }
    }
    return true;
}
