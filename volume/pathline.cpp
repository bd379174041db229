#include "volume/pathline.h"

#include "volume/pointlocator.h"

namespace {

// A line stops once it has taken more steps than this: after 10001 successful steps it holds
// 10002 points.
const unsigned kMaxSteps = 10000;
// Progress is reported every this many steps.
const unsigned kProgressEvery = 16;

}  // namespace

void PathLine::SetStart(const double* pos) {
    for (int a = 0; a < 3; ++a) start[a] = pos[a];
}

void PathLine::Integrate(PointLocator* locator, Console console) {
    LineTracer tracer;
    tracer.Begin(this, locator, console);
    while (tracer.Advance()) {
    }
}

void LineTracer::Begin(PathLine* traced, PointLocator* searcher, Console out) {
    line = traced;
    locator = searcher;
    console = out;
    counter = 0;
    half = false;
    ended = false;
    line->points.clear();
    line->points.push_back(Particle{{line->start[0], line->start[1], line->start[2]}});
    for (int a = 0; a < 3; ++a) query[a] = line->start[a];
}

void LineTracer::Resume(PathLine* traced, const State& state, Console out) {
    line = traced;
    locator = nullptr;
    console = out;
    counter = state.counter;
    half = state.half != 0;
    ended = false;
    for (int a = 0; a < 3; ++a) query[a] = state.query[a];
}

bool LineTracer::Advance() {
    if (ended) return false;
    Vertex current;
    const bool found = locator && locator->InterpolatePoint(query, &current);
    return Step(found, current);
}

bool LineTracer::Step(bool found, const Vertex& current) {
    if (ended) return false;
    if (!found) {
        console.Print(half ? "-> TERMINATED: Due to 2nd-order point not found\n"
                           : "-> TERMINATED: Due to point not found\n");
        EndStep(false);
        return !ended;
    }
    const double* position = line->points.back().position;
    if (!half) {
        // Midpoint rule: the momentum half a step ahead drives the whole step.
        for (int a = 0; a < 3; ++a) query[a] = position[a] + 0.5 * current.Momentum[a];
        half = true;
        return true;
    }
    Particle next;
    for (int a = 0; a < 3; ++a) next.position[a] = position[a] + current.Momentum[a];
    line->points.push_back(next);
    EndStep(true);
    return !ended;
}

void LineTracer::EndStep(bool stepped) {
    ++counter;
    if (counter % kProgressEvery == 0) console.Print("\r%i points computed...", (int)counter);
    if (counter > kMaxSteps) console.Print("-> TERMINATED: Due to line too long\n");
    if (counter > kMaxSteps || !stepped) {
        console.Print("\r-> Pathline terminated with %i points\n", (int)counter);
        ended = true;
        return;
    }
    half = false;
    const double* position = line->points.back().position;
    for (int a = 0; a < 3; ++a) query[a] = position[a];
}
