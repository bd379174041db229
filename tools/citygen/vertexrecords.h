// The flow values at the grid nodes, as the data files carry them at their vertices.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/citygen/grid.h"
#include "tools/citygen/kavwriter.h"
#include "tools/citygen/wind.h"

namespace citygen {

// Air at rest far from the city, in the units of the domain.
constexpr double kDensity0 = 1.225;    // mass per unit volume
constexpr double kPressure0 = 101325;  // pressure where the flow leaves the domain
constexpr double kGamma = 1.4;         // ratio of specific heats of air

// One record per grid node (nodes inside buildings included; no volume uses them).
//
// Each velocity component at a node is the mean of the faces of that component that touch
// the node and carry a value, walls counting with their zero. On the floor and on a building
// it is then the velocity just beside the wall, which the rough wall lets slide along it,
// save for the components across the wall: `wallAxes` has bit a set for the nodes on a face
// of the floor or a building whose normal lies along axis a, and those components are zero.
//
// The pressure is the mean of the air cells around the node. The air is weakly compressible:
// density changes with pressure at the speed of sound of air at rest, and the energy per unit
// volume is p / (gamma - 1) + rho |u|^2 / 2. The momentum is rho u.
std::vector<Record> VertexRecords(const Grid& g, const WindField& wind,
                                  const std::vector<uint8_t>& wallAxes);

}  // namespace citygen
