// The wind through the city: the incompressible Navier-Stokes equations on the staggered
// grid, with a mixing-length eddy viscosity and rough walls, marched in time from the
// approaching wind until the flow has settled, then averaged over a stretch of time.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "tools/citygen/grid.h"
#include "tools/citygen/staggered.h"

namespace citygen {

constexpr double kWind = 2.5;  // speed of the approaching wind at the ceiling, units per second

// Speed of the approaching wind at height y: a power-law boundary layer.
double ApproachWind(double y);

// The time-averaged flow, divergence-free on every air cell. Its grid goes on past the
// domain's downwind side, so that the wakes of the last buildings leave through a boundary
// far from them; on the domain its cells and faces have the indices of the domain's grid.
struct WindField {
    Staggered grid;
    std::array<std::vector<double>, 3> velocity;  // per axis, on the faces, units per second
    std::vector<double> pressure;  // per cell: pressure over density (units^2/s^2), 0 at the
                                   // downwind boundary
};

// One grid of the solution, `cells` over the domain: the flow is marched for `time` seconds
// of simulated time and averaged over the last `average` seconds of them.
struct WindStage {
    Index cells;
    double time;
    double average;
};

// The stages used for a grid of `cells`: the same flow is first found on coarser grids (each
// half as fine as the next, down to 18 cells in height), so that the finer grids only have
// to settle the details.
std::vector<WindStage> WindStages(const Index& cells);

using ProgressReport = std::function<void(const std::string&)>;

// Solves for the wind through the city, stage by stage; each stage starts from the
// previous one's flow. Returns the flow on the last stage's grid.
WindField SolveWind(const std::vector<Box>& city, const std::vector<WindStage>& stages,
                    const ProgressReport& progress);

}  // namespace citygen
