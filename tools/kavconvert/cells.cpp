#include "tools/kavconvert/cells.h"

#include <vtkCellType.h>
#include <vtkGenericCell.h>
#include <vtkIdList.h>
#include <vtkNew.h>

#include <cstring>

#include "tools/kavconvert/progress.h"

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
    const vtkIdType n = grid->GetNumberOfCells();
    CellDimensions dims;
    CellSelection cells;
    cells.kept.assign(static_cast<size_t>(n), 0);
    Progress progress("Sorting cells", static_cast<uint64_t>(n));
    for (vtkIdType i = 0; i < n; ++i) {
        progress.Update(static_cast<uint64_t>(i));
        if (dims.Of(grid->GetCellType(i)) != 3) {
            ++counts->lowerDim;
            continue;
        }
        cells.kept[static_cast<size_t>(i)] = 1;
        cells.ids.push_back(i);
    }
    progress.Finish();
    if (cells.ids.empty()) {
        throw ConvertError("the grid has no 3D cells (" + std::to_string(counts->read) +
                           " cells read, all of them points, lines, polygons or ghosts)");
    }
    return cells;
}

}  // namespace kav
