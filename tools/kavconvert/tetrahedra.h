// Splitting the grid's 3D cells into tetrahedra that meet face to face.
#pragma once

#include <vtkUnstructuredGrid.h>

#include <vector>

#include "tools/kavconvert/cells.h"
#include "tools/kavconvert/facesplit.h"

namespace kav {

// Splits every selected cell on the triangles that `faces` makes of its faces, so that
// cells that share a face share its triangles and the tetrahedra meet face to face. A
// cell is coned from its lowest-ranked corner when every tetrahedron of that cone has a
// fair height (which holds for convex cells with flat faces, whose faces through that
// corner are fanned from it); otherwise from a point added at the mean of its corners.
// Tetrahedra come out with a positive determinant; flat cells give none. Higher-order cells
// are taken by their corners. Throws ConvertError for a polyhedron whose faces do not close
// up into a consistently wound surface, and for a cell type that has no split.
std::vector<Tet> SplitCells(vtkUnstructuredGrid* grid, const CellSelection& cells,
                            FaceSplitter* faces, CellCounts* counts);

// Reorders each tetrahedron to a positive determinant and drops the flat ones, with the
// positions that `faces` knows.
void OrientTetrahedra(const FaceSplitter& faces, std::vector<Tet>* tets, CellCounts* counts);

// A cone tetrahedron's height over its face must exceed this share of the cell's
// thickness (three times its volume over its surface area).
const double kFairHeight = 1e-3;

}  // namespace kav
