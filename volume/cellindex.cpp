#include "volume/cellindex.h"

#include <algorithm>
#include <cmath>

namespace {

// Grid sizing: cubic cells such that a tetrahedron of mean size is filed about
// kRefsPerTetra times, with at most kCellsPerTetra cells per filed tetrahedron. Bigger cells
// save memory and build time; smaller ones give shorter candidate lists.
const double kRefsPerTetra = 16;
const double kCellsPerTetra = 2;
// When uneven sizes make the tetrahedra filed more often than this on average, the cells
// grow by kCellGrowth per axis and the filing is counted again.
const double kMaxRefsPerTetra = 48;
const double kCellGrowth = 1.5;
// Grids with more cells than this per filed tetrahedron are refused too: a flat or thin set
// of boxes would otherwise get a fine grid over a wide extent, whose cell table alone
// outgrows the tetrahedra many times over.
const double kMaxCellsPerTetra = 8;
const int kMaxTries = 8;
const double kQuantMax = 65535;
// Cell numbers and filing counts stay below this, so that 32 bits hold them.
const double kMaxCount = 4294967295.0;

}  // namespace

CellIndex::CellIndex(Arena* arena, const std::vector<WorldBox>& worldBoxes,
                     const std::vector<Kind>& kinds, const std::vector<WeightPlanes>* planes,
                     double lowest) {
    Filing filing{kinds, std::vector<QuantBox>(kinds.size(), QuantBox{{0, 0, 0}, {0, 0, 0}}),
                  planes, lowest};
    for (uint32_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == kAlwaysTested) alwaysTested.push_back(i);
        if (kinds[i] == kDegenerate) degenerate.push_back(i);
    }
    SetDomain(worldBoxes, kinds);
    if (extent[0] < 0) return;  // nothing to file
    double mean[3];
    uint64_t filed = QuantiseBoxes(worldBoxes, filing, mean);
    double side = FirstCellSide(mean, filed);
    // Sizes so uneven that no grid pays: one cell files every tetrahedron once.
    uint64_t boxRefs = filed;
    int tries = 0;
    for (; tries < kMaxTries; ++tries, side *= kCellGrowth) {
        ChooseGrid(side);
        double cells = (double)dims[0] * dims[1] * dims[2];
        if (cells > kMaxCellsPerTetra * (double)filed + 1) continue;
        double filings = cells < kMaxCount ? (double)CountRefs(filing) : kMaxCount;
        if (filings < kMaxCount && filings <= kMaxRefsPerTetra * (double)filed) {
            boxRefs = (uint64_t)filings;
            break;
        }
    }
    if (tries == kMaxTries) dims[0] = dims[1] = dims[2] = 1;
    Fill(arena, filing, boxRefs);
}

uint64_t CellIndex::QuantiseBoxes(const std::vector<WorldBox>& worldBoxes, Filing& filing,
                                  double* mean) {
    const std::vector<Kind>& kinds = filing.kinds;
    std::vector<QuantBox>& boxes = filing.boxes;
    uint64_t filed = 0;
    mean[0] = mean[1] = mean[2] = 0;
    for (uint32_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] != kBoxed) continue;
        ++filed;
        for (int a = 0; a < 3; ++a) {
            boxes[i].lo[a] = (uint16_t)Quantise(a, worldBoxes[i].lo[a]);
            boxes[i].hi[a] = (uint16_t)Quantise(a, worldBoxes[i].hi[a]);
            mean[a] += worldBoxes[i].hi[a] - worldBoxes[i].lo[a];
        }
    }
    for (int a = 0; a < 3; ++a) mean[a] /= (double)filed;
    return filed;
}

double CellIndex::FirstCellSide(const double* mean, uint64_t filed) const {
    // The side s that files a box of mean size (m + s) / s times per axis, kRefsPerTetra
    // times in all, found by bisection; but no more than kCellsPerTetra cells per
    // tetrahedron.
    double lo = 0, hi = std::max(std::max(extent[0], extent[1]), extent[2]) + 1e-300;
    for (int i = 0; i < 100; ++i) {
        double s = (lo + hi) / 2;
        double refs = (mean[0] / s + 1) * (mean[1] / s + 1) * (mean[2] / s + 1);
        (refs > kRefsPerTetra ? lo : hi) = s;
    }
    double fewest = std::cbrt(extent[0]) * std::cbrt(extent[1]) * std::cbrt(extent[2]) /
                    std::cbrt(kCellsPerTetra * (double)filed);
    return std::max(hi, fewest);
}

uint32_t CellIndex::DegenerateBefore(uint32_t index) const {
    return static_cast<uint32_t>(std::lower_bound(degenerate.begin(), degenerate.end(), index) -
                                 degenerate.begin());
}

uint64_t CellIndex::MemoryBytes() const {
    return sizeof *this +
           (alwaysTested.capacity() + degenerate.capacity() + start.size + wideRefs.size) *
               sizeof(uint32_t) +
           narrowRefs.size * sizeof(uint16_t) + masks.size;
}

void CellIndex::SetDomain(const std::vector<WorldBox>& worldBoxes, const std::vector<Kind>& kinds) {
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    bool any = false;
    for (uint32_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] != kBoxed) continue;
        any = true;
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], worldBoxes[i].lo[a]);
            hi[a] = std::max(hi[a], worldBoxes[i].hi[a]);
        }
    }
    if (!any) return;
    for (int a = 0; a < 3; ++a) {
        origin[a] = lo[a];
        extent[a] = hi[a] - lo[a];
        scale[a] = extent[a] > 0 ? (kQuantMax + 1) / extent[a] : 0;
    }
}

uint32_t CellIndex::Quantise(int axis, double value) const {
    // Monotone in `value`: a point inside a box quantises inside the box's quantised bounds.
    // Clamped before the conversion, which is undefined for NaN (a box of subnormal or
    // overflowing size gives 0 x inf or inf - inf) and for values out of range.
    double x = (value - origin[axis]) * scale[axis];
    if (!(x > 0)) return 0;
    return x >= kQuantMax ? (uint32_t)kQuantMax : (uint32_t)x;
}

void CellIndex::ChooseGrid(double cellSide) {
    for (int a = 0; a < 3; ++a) {
        double d = std::ceil(extent[a] / cellSide);
        dims[a] = d >= 1 ? (int)std::min(d, kQuantMax + 1) : 1;  // NaN gives 1 as well
    }
}

uint64_t CellIndex::CountRefs(const Filing& filing) const {
    const std::vector<Kind>& kinds = filing.kinds;
    uint64_t total = 0;
    for (uint32_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] != kBoxed) continue;
        const QuantBox& b = filing.boxes[i];
        uint64_t n = 1;
        for (int a = 0; a < 3; ++a) n *= CellOf(a, b.hi[a]) - CellOf(a, b.lo[a]) + 1;
        total += n;
    }
    return total;
}

void CellIndex::Fill(Arena* arena, const Filing& filing, uint64_t boxRefs) {
    if (filing.kinds.size() <= 65536) {
        FillRefs(arena, filing, boxRefs, narrowRefs);
    } else {
        FillRefs(arena, filing, boxRefs, wideRefs);
    }
}

void CellIndex::SubCellFaces(std::vector<double>* faces) const {
    // Sub-cell c holds the quantised coordinates from ceil(c * 65536 / (2 dims)) up to the
    // next one's first; a point quantises to q when q <= (p - origin) * scale < q + 1.
    for (int a = 0; a < 3; ++a) {
        const int n = 2 * dims[a];
        const double width = (kQuantMax + 1) / n;
        faces[a].resize(n + 1);
        for (int c = 0; c <= n; ++c) faces[a][c] = origin[a] + std::ceil(c * width) / scale[a];
    }
}

template <typename Visit>
void CellIndex::ForEachCell(const Filing& filing, uint32_t i, const std::vector<double>* faces,
                            Visit visit) const {
    const QuantBox& b = filing.boxes[i];
    const std::vector<WeightPlanes>* planes = filing.planes;
    const double lowest = filing.lowest;
    uint32_t lo[3], n[3];  // the box's sub-cells
    for (int a = 0; a < 3; ++a) {
        lo[a] = SubCellOf(a, b.lo[a]);
        n[a] = SubCellOf(a, b.hi[a]) - lo[a] + 1;
    }
    // Without planes, or for a box too many sub-cells wide, every sub-cell of the box.
    const uint32_t kMaxAxisSubCells = 32;
    bool cut =
        planes && n[0] <= kMaxAxisSubCells && n[1] <= kMaxAxisSubCells && n[2] <= kMaxAxisSubCells;
    for (int a = 0; a < 3 && cut; ++a) cut = scale[a] > 0;
    // The highest value of each weight over a sub-cell is a sum of one term per axis, each
    // the higher of its values at the sub-cell's two faces on that axis (weight 0's gradient
    // is minus the sum of the others'). The faces are padded for the rounding of the
    // quantisation.
    double term[3][kMaxAxisSubCells][4];
    if (cut) {
        const WeightPlanes& w = (*planes)[i];
        double gradient[4][3];
        w.Gradients(gradient);
        for (int a = 0; a < 3 && cut; ++a) {
            const double pad = 1e-9 * extent[a];
            for (uint32_t m = 0; m < n[a]; ++m) {
                const double low = faces[a][lo[a] + m] - pad, high = faces[a][lo[a] + m + 1] + pad;
                for (int k = 0; k < 4; ++k) {
                    double t = std::max(gradient[k][a] * (low - w.corner[a]),
                                        gradient[k][a] * (high - w.corner[a]));
                    // Terms this large could round by a share of the margin: no cutting.
                    if (!(std::fabs(t) < 1e10)) cut = false;
                    term[a][m][k] = t + (a == 0 && k == 0 ? 1 : 0);
                }
            }
        }
    }
    // When cut, which sub-cells of the box may hold a point: bit x of reach[z][y], counted
    // from the box's first sub-cell. Rows that some weight cannot reach are skipped whole.
    uint32_t reach[kMaxAxisSubCells][kMaxAxisSubCells];
    if (cut) {
        double most[3][4];  // the highest term per axis and weight
        for (int a = 0; a < 3; ++a)
            for (int k = 0; k < 4; ++k) {
                most[a][k] = term[a][0][k];
                for (uint32_t m = 1; m < n[a]; ++m)
                    most[a][k] = std::max(most[a][k], term[a][m][k]);
            }
        for (uint32_t z = 0; z < n[2]; ++z)
            for (uint32_t y = 0; y < n[1]; ++y) {
                double partial[4];
                bool row = true;
                for (int k = 0; k < 4; ++k) {
                    partial[k] = term[1][y][k] + term[2][z][k];
                    row &= partial[k] + most[0][k] >= lowest;
                }
                uint32_t bits = 0;
                for (uint32_t x = 0; row && x < n[0]; ++x) {
                    bool in = true;
                    for (int k = 0; k < 4; ++k) in &= term[0][x][k] + partial[k] >= lowest;
                    bits |= (uint32_t)in << x;
                }
                reach[z][y] = bits;
            }
    }
    // The cells, each with the sub-cells of the box in it. Sub-cell fine index f lies at
    // f - lo within the box.
    auto bit = [&](uint32_t fx, uint32_t fy, uint32_t fz) -> uint32_t {
        fx -= lo[0], fy -= lo[1], fz -= lo[2];  // wraps past n below the box
        if (fx >= n[0] || fy >= n[1] || fz >= n[2]) return 0;
        return cut ? reach[fz][fy] >> fx & 1 : 1;
    };
    for (uint32_t cz = lo[2] / 2; cz <= (lo[2] + n[2] - 1) / 2; ++cz)
        for (uint32_t cy = lo[1] / 2; cy <= (lo[1] + n[1] - 1) / 2; ++cy)
            for (uint32_t cx = lo[0] / 2; cx <= (lo[0] + n[0] - 1) / 2; ++cx) {
                uint32_t mask = 0;
                for (uint32_t s = 0; s < 8; ++s) {
                    mask |= bit(2 * cx + (s & 1), 2 * cy + (s >> 1 & 1), 2 * cz + (s >> 2)) << s;
                }
                if (mask) visit((cz * dims[1] + cy) * dims[0] + cx, (uint8_t)mask);
            }
}

template <typename Ref>
void CellIndex::FillRefs(Arena* arena, const Filing& filing, uint64_t boxRefs,
                         ArenaArray<Ref>& refs) {
    const std::vector<Kind>& kinds = filing.kinds;
    uint64_t cells = (uint64_t)dims[0] * dims[1] * dims[2];
    const uint32_t count = (uint32_t)kinds.size();
    std::vector<double> faces[3];
    if (filing.planes) SubCellFaces(faces);
    // The cells of each tetrahedron in turn, found once: a counting pass sizes the lists, then
    // a filing pass in array order leaves every cell's list ascending. The boxes' cells bound
    // how many there are.
    std::vector<uint32_t> filedCells, firstFiled(count + 1);
    std::vector<uint8_t> filedMasks;
    filedCells.reserve(boxRefs);
    filedMasks.reserve(boxRefs);
    for (uint32_t i = 0; i < count; ++i) {
        firstFiled[i] = (uint32_t)filedCells.size();
        if (kinds[i] != kBoxed) continue;
        ForEachCell(filing, i, faces, [&](uint32_t c, uint8_t m) {
            filedCells.push_back(c);
            filedMasks.push_back(m);
        });
    }
    firstFiled[count] = (uint32_t)filedCells.size();
    start.Allocate(arena, cells + 1);
    std::fill(start.data, start.data + cells + 1, 0u);
    for (uint32_t c : filedCells) ++start[c + 1];
    for (uint64_t c = 0; c < cells; ++c) start[c + 1] += start[c];
    refs.Allocate(arena, start[cells]);
    masks.Allocate(arena, start[cells]);
    std::vector<uint32_t> next(start.data, start.data + cells);
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t k = firstFiled[i]; k < firstFiled[i + 1]; ++k) {
            const uint32_t r = next[filedCells[k]]++;
            refs[r] = static_cast<Ref>(i);
            masks[r] = filedMasks[k];
        }
    }
}

bool CellIndex::Locate(const double* p, uint32_t* q) const {
    if (dims[0] == 0) return false;
    for (int a = 0; a < 3; ++a) {
        // Written so that a NaN coordinate fails.
        if (!(p[a] >= origin[a] && p[a] - origin[a] <= extent[a])) return false;
        q[a] = Quantise(a, p[a]);
    }
    return true;
}
