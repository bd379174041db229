// One particle trace through the momentum field of the volume.
#pragma once

#include <cstdint>
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
    // Makes `traced` the line, as traced elsewhere (another process, a server).
    void SetPoints(std::vector<Particle> traced) { points = std::move(traced); }

private:
    friend class LineTracer;

    std::vector<Particle> points;
    Vector start = {0, 0, 0};
};

// The integration of one path line a lookup at a time, so that one thread can trace several
// lines side by side and overlap their lookups' cache misses. The line, its lookups and its
// console text are exactly those of PathLine::Integrate.
class LineTracer {
public:
    // Replaces `line` by its seed alone and gets ready to trace it through `locator`.
    void Begin(PathLine* line, PointLocator* locator, Console console);
    // The point that the next call of Advance looks up.
    const double* Query() const { return query; }
    // Looks up Query() and moves the line on; false once the line has ended.
    bool Advance();
    // Moves the line on with the answer to the lookup of Query() made elsewhere: `found`,
    // and then `current`'s momentum. False once the line has ended.
    bool Step(bool found, const Vertex& current);

    // Where the integration stands, for carrying it to another process.
    struct State {
        uint32_t counter = 0;
        uint32_t half = 0;
        Vector query = {0, 0, 0};
    };
    State GetState() const { return {counter, half ? 1u : 0u, {query[0], query[1], query[2]}}; }
    // Goes on with an integration in `state` whose last point is the one point of `line`.
    void Resume(PathLine* line, const State& state, Console console);

private:
    void EndStep(bool stepped);

    PathLine* line = nullptr;
    PointLocator* locator = nullptr;
    Console console;
    unsigned counter = 0;  // steps attempted
    bool half = false;     // the query is a step's half-way point
    bool ended = false;
    Vector query = {0, 0, 0};
};
