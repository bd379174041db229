// One particle trace through the momentum field of the volume.
#pragma once

#include "volume/types.h"

class TetrahedralVolume;

// One point of a path line.
typedef struct _Particle {
    Vector position;
    struct _Particle* next;
} Particle;

// A path line integrated from a seed with the explicit midpoint rule, one unit of time per
// step, the momentum taken as the velocity. It owns its points; it is drawn by the
// generator that owns it, never added to the scene by itself.
class PathLine {
public:
    PathLine();
    ~PathLine();
    PathLine(const PathLine&) = delete;
    PathLine& operator=(const PathLine&) = delete;

    void SetVolume(TetrahedralVolume* volume) { vol = volume; }
    // Seed of the next integration; the current line stays as it is until then.
    void SetStart(const double* pos);
    // Replaces the line by a new one traced from the seed until it leaves the mesh or grows
    // too long, reporting progress and the reason it ended on the console.
    void Integrate();
    // Draws the line as one white line strip; nothing at all when there is no line.
    void Render() const;

    // First point of the line (the seed), or null when there is no line.
    const Particle* First() const { return lineStart; }

private:
    void EraseLine();
    bool Sample(double* position, Vertex* out) const;
    // The point one step on from `from`, or null, with the reason printed, when a lookup
    // fails.
    Particle* Step(const Particle* from) const;

    TetrahedralVolume* vol;
    Particle* lineStart;
    Vector start;
};
