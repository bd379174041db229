// The node velocities that carry the solution's mass flow under linear interpolation.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/citygen/grid.h"
#include "tools/citygen/wind.h"

namespace citygen {

// Corrects component a of the node velocities on every node plane across axis a so that
// the viewer's linear interpolation carries the solution's mass flow through the plane.
// `velocity` holds that component at every grid node; the nodes with bit a set in
// `wallAxes` (on a wall across axis a) are held at zero.
//
// Interpolated on the two triangles of a face (cut from its corner 00 to corner 11, as the
// tetrahedra cut it), a face passes sum_k weight_k value_k with the weights 1/3, 1/6, 1/3,
// 1/6 of its area. Where corners are held at zero, as along the edges of the buildings,
// that falls short of the face's own flux. Each face's shortfall (or excess) is shared out
// to its free corners in proportion to their weights, and every free node changes by its
// share over its total weight in the plane: the plane then passes exactly the solution's
// flow, and no correction reaches beyond the faces that ask for it. A face with one free
// corner or none (where walls of the plane meet, or in a gap one cell wide between them)
// spreads its shortfall over the nearest free nodes instead, so that no node takes it alone.
void MatchPlaneFlow(const Grid& g, const WindField& w, const std::vector<uint8_t>& wallAxes, int a,
                    std::vector<double>& velocity);

}  // namespace citygen
