// From the grid's cells to tetrahedra: tetrahedra kept as they are, other 3D cells split by
// VTK, lower-dimensional, ghost and degenerate cells dropped and counted.
#pragma once

#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>

#include <cstdint>
#include <vector>

#include "tools/kavconvert/mesh.h"

namespace kav {

struct CellCounts {
    uint64_t read = 0;        // cells in the input
    uint64_t tetra = 0;       // tetrahedra taken as they are
    uint64_t split = 0;       // other 3D cells handed to VTK's split
    uint64_t fromSplit = 0;   // tetrahedra that the split made of them
    uint64_t lowerDim = 0;    // 0D, 1D and 2D cells dropped
    uint64_t ghost = 0;       // ghost cells (copies of a neighbour piece's cells) dropped
    uint64_t degenerate = 0;  // flat tetrahedra dropped
    uint64_t flipped = 0;     // tetrahedra reordered to a positive determinant
    uint64_t merged = 0;      // points merged into an earlier point at the same place
};

// The 3D cells of the grid; `kept[i]` tells whether cell i is one of them.
struct CellSelection {
    std::vector<uint8_t> kept;
    std::vector<Tet> tets;           // the tetrahedra, in input point numbers
    std::vector<vtkIdType> toSplit;  // the other 3D cells
};

// Sorts the grid's cells. Throws ConvertError when no 3D cell is left.
CellSelection SelectCells(vtkUnstructuredGrid* grid, CellCounts* counts);

// Adds the tetrahedra of VTK's split of the cells in `toSplit` to `tets`.
void SplitCells(vtkUnstructuredGrid* grid, CellSelection* cells, CellCounts* counts);

// Points at exactly the same place (as the pieces of a partitioned grid repeat them along
// their seams) become one: each tetrahedron refers to the first of them.
void MergeCoincidentPoints(vtkPoints* points, std::vector<Tet>* tets, CellCounts* counts);

// A grid of the cells `ids` of `grid`, sharing its points and so their numbering.
vtkSmartPointer<vtkUnstructuredGrid> SubGrid(vtkUnstructuredGrid* grid,
                                             const std::vector<vtkIdType>& ids);

// Reorders each tetrahedron to a positive determinant and drops the flat ones.
void OrientTetrahedra(vtkPoints* points, std::vector<Tet>* tets, CellCounts* counts);

// A tetrahedron with |det| at most this times the cube of its longest edge component is flat.
const double kFlatRatio = 1e-12;

}  // namespace kav
