// One particle trace through the momentum field of the volume.
#pragma once

#include <vector>

#include "volume/console.h"
#include "volume/types.h"

class PointLocator;

// One point of a path line.
struct Particle {
    Vector position;
};

// A path line integrated from a seed with the explicit midpoint rule, one unit of time per
// step, the momentum taken as the velocity: x(n+1) = x(n) + M(x(n) + M(x(n)) / 2).
class PathLine {
public:
    // Seed of the next integration; the current line stays as it is until then.
    void SetStart(const double* pos);
    // Replaces the line by a new one traced from the seed until it leaves the mesh or grows
    // too long, writing progress and the reason it ended to `console`. Without a locator
    // (no volume) the line ends at its seed.
    void Integrate(PointLocator* locator, Console console = Console());

    // The points in order, the seed first; empty when there is no line.
    const std::vector<Particle>& Points() const { return points; }

private:
    std::vector<Particle> points;
    Vector start = {0, 0, 0};
};
