// Sorting the grid's cells, and checking the tetrahedra made of them.
#pragma once

#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>

#include <cstdint>
#include <vector>

#include "tools/kavconvert/mesh.h"

namespace kav {

struct CellCounts {
    uint64_t read = 0;          // cells in the input, every piece's
    uint64_t tetra = 0;         // tetrahedra taken as they are
    uint64_t split = 0;         // other 3D cells split
    uint64_t fromSplit = 0;     // tetrahedra that the split made of them
    uint64_t higherOrder = 0;   // higher-order cells taken by their corners
    uint64_t centred = 0;       // cells split around an added centre point
    uint64_t unseen = 0;        // cells that not even their centre sees whole (not star-shaped)
    uint64_t centredFaces = 0;  // faces split around an added centre point
    uint64_t unevenFaces = 0;   // faces that not even their centre sees whole
    uint64_t lowerDim = 0;      // 0D, 1D and 2D cells dropped
    uint64_t ghost = 0;         // ghost cells (copies of a neighbour piece's cells) dropped
    uint64_t degenerate = 0;    // flat cells and tetrahedra dropped
    uint64_t flipped = 0;       // tetrahedra reordered to a positive determinant
    uint64_t merged = 0;        // points merged into an earlier point at the same place
};

// The 3D cells of the grid; `kept[i]` tells whether cell i is one of them.
struct CellSelection {
    std::vector<uint8_t> kept;
    std::vector<vtkIdType> ids;
};

// Sorts the grid's cells. Throws ConvertError when no 3D cell is left.
CellSelection SelectCells(vtkUnstructuredGrid* grid, CellCounts* counts);

// A grid of the cells `ids` of `grid`, sharing its points and so their numbering.
vtkSmartPointer<vtkUnstructuredGrid> SubGrid(vtkUnstructuredGrid* grid,
                                             const std::vector<vtkIdType>& ids);

// A tetrahedron with |det| at most this times the cube of its longest edge component is flat.
const double kFlatRatio = 1e-12;

}  // namespace kav
