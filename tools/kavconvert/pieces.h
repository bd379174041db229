// Joining the pieces of a partitioned result into one grid.
#pragma once

#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>

#include <vector>

#include "tools/kavconvert/cells.h"

namespace kav {

// One grid of the pieces' cells in piece order, without the cells marked as ghosts
// (copies of another piece's cells). Points at exactly the same place, as pieces repeat
// them along their seams, become one point, which keeps the values of its first
// occurrence; points that no cell uses are left out. Point and cell arrays that every
// piece has (same name and component count) are carried over. A single piece without
// ghosts or repeated points is returned as it is. Throws ConvertError for a cell that
// refers to a point its piece does not have.
vtkSmartPointer<vtkUnstructuredGrid> MergePieces(
    const std::vector<vtkSmartPointer<vtkUnstructuredGrid>>& pieces, CellCounts* counts);

}  // namespace kav
