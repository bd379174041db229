// The viewer's vertex records of the points that the tetrahedra use.
#pragma once

#include <vtkPoints.h>

#include <vector>

#include "tools/kavconvert/fields.h"
#include "tools/kavconvert/mesh.h"

namespace kav {

// Turns a position or a vector given with `up` as the up axis into the viewer's axes, where
// y is up, by a rotation (so handedness and determinants are kept).
void ToViewerAxes(int up, const double* in, double* out);

// The mesh in the viewer's terms: the points that `tets` use, numbered in input order, with
// their flow values (MomentumMag = |Momentum|), turned so that up is along y. Throws
// ConvertError when a used point has a NaN or infinite value.
TetMesh BuildMesh(vtkPoints* points, std::vector<Tet> tets, const FlowSources& sources, int up);

}  // namespace kav
