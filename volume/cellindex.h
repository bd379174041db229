// Spatial index over one block's tetrahedra for point location.
//
// It answers "which tetrahedra could hold this point" with a superset of the true answer, in
// ascending array order, so that testing the candidates in that order finds the same first
// tetrahedron as a scan of the whole array. Each indexed tetrahedron is filed under the cells
// of a uniform grid that its box (grown by the caller to cover the inside test's tolerance)
// overlaps, with a byte beside each filing that marks which of the cell's eight half-size
// sub-cells it may hold points in: a quick rejection read from the list itself.
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

    // The gradients of weights 0..3; weight 0's is minus the sum of the others'.
    void Gradients(double gradient[4][3]) const {
        for (int a = 0; a < 3; ++a) {
            gradient[0][a] = -(row[0][a] + row[1][a] + row[2][a]);
            for (int k = 0; k < 3; ++k) gradient[k + 1][a] = row[k][a];
        }
    }
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
    // A box in quantised coordinates, inclusive at both ends; only while filing.
    struct QuantBox {
        uint16_t lo[3];
        uint16_t hi[3];
    };

    void SetDomain(const std::vector<WorldBox>& boxes, const std::vector<Kind>& kinds);
    // What filing reads, only while the index is built.
    struct Filing {
        const std::vector<Kind>& kinds;
        std::vector<QuantBox> boxes;  // meaningful for filed tetrahedra
        const std::vector<WeightPlanes>* planes;
        double lowest;
    };

    // Quantises the filed boxes; returns how many there are and their mean size per axis.
    uint64_t QuantiseBoxes(const std::vector<WorldBox>& boxes, Filing& filing, double* mean);
    double FirstCellSide(const double* mean, uint64_t filed) const;
    void ChooseGrid(double cellSide);
    uint64_t CountRefs(const Filing& filing) const;
    // `boxRefs`: the filings of the boxes' cells, which bound the filings by planes.
    void Fill(Arena* arena, const Filing& filing, uint64_t boxRefs);
    template <typename Ref>
    void FillRefs(Arena* arena, const Filing& filing, uint64_t boxRefs, ArenaArray<Ref>& refs);
    // Calls visit(c, mask) for each cell c of tetrahedron i's box with a sub-cell that may
    // hold one of its points; bit s of mask marks sub-cell s (see SubCellBit).
    template <typename Visit>
    void ForEachCell(const Filing& filing, uint32_t i, const std::vector<double>* faces,
                     Visit visit) const;
    // The positions of the sub-cells' faces on each axis: 2 dims + 1 of them.
    void SubCellFaces(std::vector<double>* faces) const;
    template <typename Ref, typename Test>
    uint32_t Search(const Ref* refs, const double* point, Test test) const;
    uint32_t Quantise(int axis, double value) const;
    uint32_t CellOf(int axis, uint32_t q) const { return (q * (uint32_t)dims[axis]) >> 16; }
    // The sub-cell on one axis: twice the cell, plus one in its upper half.
    uint32_t SubCellOf(int axis, uint32_t q) const {
        return (uint32_t)(((uint64_t)q * (2 * (uint32_t)dims[axis])) >> 16);
    }
    uint32_t CellNumber(const uint32_t* q) const {
        return (CellOf(2, q[2]) * dims[1] + CellOf(1, q[1])) * dims[0] + CellOf(0, q[0]);
    }
    // The bit of the point's sub-cell in a filing's mask: bit x + 2 y + 4 z for the lower (0)
    // or upper (1) half of the cell on each axis.
    uint32_t SubCellBit(const uint32_t* q) const {
        return 1u << ((SubCellOf(0, q[0]) & 1) | (SubCellOf(1, q[1]) & 1) << 1 |
                      (SubCellOf(2, q[2]) & 1) << 2);
    }
    bool Locate(const double* point, uint32_t* q) const;

    std::vector<uint32_t> alwaysTested;  // ascending
    std::vector<uint32_t> degenerate;    // ascending
    // The domain holds every filed box: `origin` to `origin` + `extent` per axis, mapped
    // monotonically onto quantised coordinates 0..65535 (`scale` per unit).
    double origin[3] = {0, 0, 0};
    double extent[3] = {-1, -1, -1};
    double scale[3] = {0, 0, 0};
    // The grid: `dims` cells per axis over the quantised range. Cell c holds the ascending
    // tetrahedron numbers refs[start[c]] .. refs[start[c + 1] - 1], kept in `narrowRefs` when
    // 16 bits number every tetrahedron of the block, else in `wideRefs`. Empty when nothing
    // is filed.
    int dims[3] = {0, 0, 0};
    ArenaArray<uint32_t> start;
    ArenaArray<uint16_t> narrowRefs;
    ArenaArray<uint32_t> wideRefs;
    ArenaArray<uint8_t> masks;  // beside each reference: its sub-cells
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
    // Stage 2: reads the cell's entry and asks for its list and the list's masks.
    void FetchList();
    // Stage 3: keeps the listed tetrahedra whose masks hold the point's sub-cell, and calls
    // fetch(i) for each, for the caller to ask for its own data of tetrahedron i.
    template <typename Fetch>
    void FindCandidates(Fetch fetch);
    // After stage 3: calls visit(i) for each kept candidate.
    template <typename Visit>
    void ForCandidates(Visit visit) const {
        for (int k = 0; k < kept; ++k) visit(candidate[k]);
    }

    // After stage 3: forgets the kept candidates for which `drop(i)` holds, which the caller
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

    // After stage 3: true, with the first of the kept candidates in ascending order for which
    // `test(i)` holds in `found` (kNone if none), when they are all that FirstMatch would test
    // for the point; else false, and the search must run as usual.
    template <typename Test>
    bool FirstMatch(Test test, uint32_t* found) const;

private:
    // Listed tetrahedra a probe looks at, and candidates it keeps; a longer list is left to
    // the search itself.
    static const uint32_t kMaxListed = 48;

    const CellIndex* index = nullptr;
    uint32_t cell = 0;
    uint32_t bit = 0;  // the point's sub-cell
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
    uint32_t r = 0, rEnd = 0, bit = 0;
    uint32_t q[3];
    if (Locate(point, q)) {
        const uint32_t cell = CellNumber(q);
        r = start[cell];
        rEnd = start[cell + 1];
        bit = SubCellBit(q);
    }
    if (alwaysTested.empty()) {  // the usual case: one list
        for (; r != rEnd; ++r) {
            if ((masks[r] & bit) && test(refs[r])) return refs[r];
        }
        return kNone;
    }
    // Merge the cell's list with the ascending list of tetrahedra tested everywhere.
    const uint32_t* other = alwaysTested.data();
    const uint32_t* otherEnd = other + alwaysTested.size();
    while (r != rEnd || other != otherEnd) {
        if (other == otherEnd || (r != rEnd && refs[r] < *other)) {
            const uint32_t i = refs[r];
            if ((masks[r++] & bit) && test(i)) return i;
        } else {
            uint32_t i = *other++;
            if (test(i)) return i;
        }
    }
    return kNone;
}

inline void CellIndex::Probe::Start(const CellIndex* searched, const double* point) {
    first = end = 0;
    whole = false;
    kept = 0;
    uint32_t q[3];
    index = searched->Locate(point, q) ? searched : nullptr;
    if (!index) return;
    cell = index->CellNumber(q);
    bit = index->SubCellBit(q);
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
    Prefetch(&index->masks[first]);
    Prefetch(&index->masks[end - 1]);
}

template <typename Fetch>
void CellIndex::Probe::FindCandidates(Fetch fetch) {
    kept = 0;
    if (!index) return;
    auto keep = [&](const auto* refs) {
        for (uint32_t r = first; r < end; ++r) {
            candidate[kept] = refs[r];
            kept += (index->masks[r] & bit) != 0;  // no branch to mispredict
        }
    };
    if (index->narrowRefs.Empty()) {
        keep(index->wideRefs.data);
    } else {
        keep(index->narrowRefs.data);
    }
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
