// The viewer's vertex records of the points that the tetrahedra use.
#pragma once

#include <vtkPoints.h>

#include <vector>

#include "tools/kavconvert/facesplit.h"
#include "tools/kavconvert/fields.h"
#include "tools/kavconvert/mesh.h"

namespace kav {

// Turns a position or a vector given with `up` as the up axis into the viewer's axes, where
// y is up, by a rotation (so handedness and determinants are kept).
void ToViewerAxes(int up, const double* in, double* out);

// The mesh in the viewer's terms: the points that `tets` use (the grid's, then the added
// ones), numbered in that order, with their flow values (an added point's are the mean of
// its sources'; MomentumMag = |Momentum|), turned so that up is along y. `index` receives
// each point's number in the mesh, kUnusedPoint for those no tetrahedron uses. Throws
// ConvertError when a used point has a NaN or infinite value.
TetMesh BuildMesh(vtkPoints* points, const ExtraPoints& extras, std::vector<Tet> tets,
                  const FlowSources& sources, int up, std::vector<uint32_t>* index);

const uint32_t kUnusedPoint = UINT32_MAX;

}  // namespace kav
