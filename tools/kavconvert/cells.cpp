#include "tools/kavconvert/cells.h"

#include <vtkCallbackCommand.h>
#include <vtkCellType.h>
#include <vtkDataSetAttributes.h>
#include <vtkDataSetTriangleFilter.h>
#include <vtkGenericCell.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "tools/kavconvert/progress.h"
#include "tools/kavconvert/vtkmessages.h"

namespace kav {

namespace {

// The dimension of each VTK cell type, looked up once per type.
class CellDimensions {
public:
    CellDimensions() { std::memset(known, kUnknown, sizeof known); }

    int Of(int type) {
        if (type < 0 || type >= 256) return -1;
        if (known[type] == kUnknown) {
            probe->SetCellType(type);
            known[type] = static_cast<signed char>(probe->GetCellDimension());
        }
        return known[type];
    }

private:
    static const signed char kUnknown = -2;
    vtkNew<vtkGenericCell> probe;
    signed char known[256];
};

Tet ToTet(const vtkIdType* ids) {
    return Tet{{static_cast<uint32_t>(ids[0]), static_cast<uint32_t>(ids[1]),
                static_cast<uint32_t>(ids[2]), static_cast<uint32_t>(ids[3])}};
}

void OnProgress(vtkObject* caller, unsigned long, void* clientData, void*) {
    static_cast<Progress*>(clientData)
        ->Update(static_cast<uint64_t>(1000 * static_cast<vtkAlgorithm*>(caller)->GetProgress()));
}

// Bit pattern of a point's coordinates, with -0 folded into +0 so that both compare equal.
struct PointKey {
    uint64_t bits[3];
    bool operator==(const PointKey& o) const {
        return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
    }
};

struct PointKeyHash {
    size_t operator()(const PointKey& k) const {
        uint64_t h = k.bits[0] * 0x9e3779b97f4a7c15ULL;
        h = (h ^ (h >> 29) ^ k.bits[1]) * 0xbf58476d1ce4e5b9ULL;
        h = (h ^ (h >> 31) ^ k.bits[2]) * 0x94d049bb133111ebULL;
        return static_cast<size_t>(h ^ (h >> 32));
    }
};

PointKey KeyOf(const double* p) {
    PointKey k;
    for (int a = 0; a < 3; ++a) {
        double v = p[a] + 0.0;
        std::memcpy(&k.bits[a], &v, sizeof v);
    }
    return k;
}

// VTK's readers take a cell's point numbers as they stand; refuses one beyond the points,
// before anything looks that point up.
void CheckPointNumbers(vtkUnstructuredGrid* grid, vtkIdType cell) {
    const vtkIdType points = grid->GetNumberOfPoints();
    auto check = [&](vtkIdType n, const vtkIdType* ids) {
        for (vtkIdType k = 0; k < n; ++k) {
            if (ids[k] < 0 || ids[k] >= points) {
                throw ConvertError("cell " + std::to_string(cell) + " refers to point " +
                                   std::to_string(ids[k]) + ", but the grid has " +
                                   std::to_string(points) + " points");
            }
        }
    };
    vtkIdType n;
    const vtkIdType* ids;
    grid->GetCellPoints(cell, n, ids);
    check(n, ids);
    if (grid->GetCellType(cell) != VTK_POLYHEDRON) return;
    vtkIdType faces;
    grid->GetFaceStream(cell, faces, ids);
    for (vtkIdType f = 0; f < faces; ++f) {
        check(ids[0], ids + 1);
        ids += ids[0] + 1;
    }
}

}  // namespace

vtkSmartPointer<vtkUnstructuredGrid> SubGrid(vtkUnstructuredGrid* grid,
                                             const std::vector<vtkIdType>& ids) {
    auto part = vtkSmartPointer<vtkUnstructuredGrid>::New();
    part->SetPoints(grid->GetPoints());
    part->AllocateEstimate(static_cast<vtkIdType>(ids.size()), 8);
    vtkNew<vtkIdList> points;
    for (vtkIdType id : ids) {
        int type = grid->GetCellType(id);
        grid->GetCellPoints(id, points);
        if (type == VTK_POLYHEDRON) {
            vtkIdType faces;
            const vtkIdType* stream;
            grid->GetFaceStream(id, faces, stream);
            part->InsertNextCell(type, points->GetNumberOfIds(), points->GetPointer(0), faces,
                                 stream);
        } else {
            part->InsertNextCell(type, points);
        }
    }
    return part;
}

CellSelection SelectCells(vtkUnstructuredGrid* grid, CellCounts* counts) {
    CheckCount(static_cast<uint64_t>(grid->GetNumberOfPoints()), "points");
    const vtkIdType n = grid->GetNumberOfCells();
    counts->read = static_cast<uint64_t>(n);
    vtkUnsignedCharArray* ghosts = grid->GetCellGhostArray();
    CellDimensions dims;
    CellSelection cells;
    cells.kept.assign(static_cast<size_t>(n), 0);
    Progress progress("Sorting cells", static_cast<uint64_t>(n));
    for (vtkIdType i = 0; i < n; ++i) {
        progress.Update(static_cast<uint64_t>(i));
        if (ghosts && (ghosts->GetValue(i) & vtkDataSetAttributes::DUPLICATECELL)) {
            ++counts->ghost;
            continue;
        }
        int type = grid->GetCellType(i);
        if (dims.Of(type) != 3) {
            ++counts->lowerDim;
            continue;
        }
        CheckPointNumbers(grid, i);
        cells.kept[static_cast<size_t>(i)] = 1;
        if (type == VTK_TETRA) {
            vtkIdType npts;
            const vtkIdType* ids;
            grid->GetCellPoints(i, npts, ids);
            ++counts->tetra;
            if (npts != 4) {
                ++counts->degenerate;
                continue;
            }
            cells.tets.push_back(ToTet(ids));
        } else {
            cells.toSplit.push_back(i);
            ++counts->split;
        }
    }
    progress.Finish();
    if (counts->tetra + counts->split == 0) {
        throw ConvertError("the grid has no 3D cells (" + std::to_string(n) +
                           " cells read, all of them points, lines, polygons or ghosts)");
    }
    return cells;
}

void SplitCells(vtkUnstructuredGrid* grid, CellSelection* cells, CellCounts* counts) {
    if (cells->toSplit.empty()) return;
    std::printf("-> Splitting %zu cells into tetrahedra\n", cells->toSplit.size());
    vtkNew<vtkDataSetTriangleFilter> split;
    split->SetInputData(SubGrid(grid, cells->toSplit));
    split->TetrahedraOnlyOn();
    Progress progress("Splitting", 1000, cells->toSplit.size() >= Progress::kLargeWork / 4);
    vtkNew<vtkCallbackCommand> callback;
    callback->SetCallback(OnProgress);
    callback->SetClientData(&progress);
    split->AddObserver(vtkCommand::ProgressEvent, callback);
    VtkMessages* messages = VtkMessages::Install();
    messages->TakeError();
    split->Update();
    progress.Finish();
    std::string error = messages->TakeError();
    if (!error.empty()) throw ConvertError("VTK could not split the cells: " + error);
    vtkUnstructuredGrid* out = split->GetOutput();
    // The split must only use the cells' own points, so that the numbering stays the input's.
    if (out->GetNumberOfPoints() != grid->GetNumberOfPoints())
        throw ConvertError("VTK's split of the cells added points; such cells are not supported");
    const vtkIdType n = out->GetNumberOfCells();
    for (vtkIdType i = 0; i < n; ++i) {
        vtkIdType npts;
        const vtkIdType* ids;
        out->GetCellPoints(i, npts, ids);
        if (out->GetCellType(i) != VTK_TETRA || npts != 4) continue;
        cells->tets.push_back(ToTet(ids));
        ++counts->fromSplit;
    }
    cells->toSplit.clear();
    cells->toSplit.shrink_to_fit();
}

void MergeCoincidentPoints(vtkPoints* points, std::vector<Tet>* tets, CellCounts* counts) {
    const vtkIdType n = points->GetNumberOfPoints();
    const uint32_t kUnused = UINT32_MAX;
    std::vector<uint32_t> target(static_cast<size_t>(n), kUnused);
    for (const Tet& t : *tets) {
        for (uint32_t v : t.v) target[v] = v;
    }
    // First occurrences keep their number, so a grid without repeats stays as it is.
    std::unordered_map<PointKey, uint32_t, PointKeyHash> first;
    first.reserve(static_cast<size_t>(n));
    for (vtkIdType i = 0; i < n; ++i) {
        if (target[i] == kUnused) continue;
        double p[3];
        points->GetPoint(i, p);
        auto found = first.emplace(KeyOf(p), static_cast<uint32_t>(i));
        if (!found.second) {
            target[i] = found.first->second;
            ++counts->merged;
        }
    }
    if (counts->merged == 0) return;
    for (Tet& t : *tets) {
        for (uint32_t& v : t.v) v = target[v];
    }
}

void OrientTetrahedra(vtkPoints* points, std::vector<Tet>* tets, CellCounts* counts) {
    size_t kept = 0;
    Progress progress("Checking tetrahedra", tets->size());
    for (size_t i = 0; i < tets->size(); ++i) {
        progress.Update(i);
        Tet t = (*tets)[i];
        double p[4][3];
        for (int k = 0; k < 4; ++k) points->GetPoint(t.v[k], p[k]);
        double edge = 0;
        for (int k = 1; k < 4; ++k) {
            for (int a = 0; a < 3; ++a) edge = std::max(edge, std::fabs(p[k][a] - p[0][a]));
        }
        double det = Determinant(p[0], p[1], p[2], p[3]);
        // Written so that NaN coordinates count as flat here; they are refused later with
        // the other non-finite values.
        if (!(std::fabs(det) > kFlatRatio * edge * edge * edge)) {
            if (std::isfinite(det)) {
                ++counts->degenerate;
                continue;
            }
        } else if (det < 0) {
            std::swap(t.v[2], t.v[3]);
            ++counts->flipped;
        }
        (*tets)[kept++] = t;
    }
    tets->resize(kept);
}

}  // namespace kav
