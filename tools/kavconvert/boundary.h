// The city surfaces: the boundary of the tetrahedral mesh, sorted into the four roles.
#pragma once

#include <array>

#include "tools/kavconvert/mesh.h"
#include "tools/kavconvert/patches.h"

namespace kav {

// The mesh's boundary triangles as found by VTK's surface filter. Each goes to the surface
// that `roles` gives it (by its corners in ascending order), or else by the side of the
// mesh's bounding box that it lies on: the floor at the lowest y, the ceiling at the
// highest, the walls on the four other sides, the city (the obstacles) everywhere else.
//
// As in the demo city, every normal points into the flow domain (into the air, away from
// walls and buildings) and every triangle runs counter-clockwise about its normal. Each
// surface has its own vertex array, in the mesh's vertex order, with the flow values of
// the mesh's vertices.
std::array<Surface, kSurfaceCount> ExtractBoundary(const TetMesh& mesh, const RoleMap& roles);

// A triangle lies on a side of the box when all three corners are within this fraction of
// the box's largest extent from it.
const double kSideTolerance = 1e-6;

}  // namespace kav
