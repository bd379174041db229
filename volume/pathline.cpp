#include "volume/pathline.h"

#include "volume/pointlocator.h"

namespace {

// A line stops once it has taken more steps than this: after 10001 successful steps it holds
// 10002 points.
const unsigned kMaxSteps = 10000;
// Progress is reported every this many steps.
const unsigned kProgressEvery = 16;

bool Sample(PointLocator* locator, const double* position, Vertex* out) {
    return locator && locator->InterpolatePoint(position, out);
}

// The point one step on from `from` into `to`; false, with the reason printed, when a lookup
// fails.
bool Step(PointLocator* locator, Console& console, const Particle& from, Particle* to) {
    Vertex current;
    const double* position = from.position;
    if (!Sample(locator, position, &current)) {
        console.Print("-> TERMINATED: Due to point not found\n");
        return false;
    }
    // Midpoint rule: the momentum half a step ahead drives the whole step.
    double newP[3];
    for (int a = 0; a < 3; ++a) newP[a] = position[a] + 0.5 * current.Momentum[a];
    if (!Sample(locator, newP, &current)) {
        console.Print("-> TERMINATED: Due to 2nd-order point not found\n");
        return false;
    }
    for (int a = 0; a < 3; ++a) to->position[a] = position[a] + current.Momentum[a];
    return true;
}

}  // namespace

void PathLine::SetStart(const double* pos) {
    for (int a = 0; a < 3; ++a) start[a] = pos[a];
}

void PathLine::Integrate(PointLocator* locator, Console console) {
    points.clear();
    points.push_back(Particle{{start[0], start[1], start[2]}});
    for (unsigned counter = 1;; ++counter) {
        Particle next;
        bool stepped = Step(locator, console, points.back(), &next);
        if (stepped) points.push_back(next);
        if (counter % kProgressEvery == 0) console.Print("\r%i points computed...", (int)counter);
        if (counter > kMaxSteps) console.Print("-> TERMINATED: Due to line too long\n");
        if (counter > kMaxSteps || !stepped) {
            console.Print("\r-> Pathline terminated with %i points\n", (int)counter);
            return;
        }
    }
}
