#include "volume/pathline.h"

#include <GL/gl.h>

#include <cstdio>

#include "volume/tetravolume.h"

namespace {

// A line stops once it has taken more steps than this: after 10001 successful steps it holds
// 10002 points.
const unsigned kMaxSteps = 10000;
// Progress is reported every this many steps.
const unsigned kProgressEvery = 16;

}  // namespace

PathLine::PathLine() : vol(nullptr), lineStart(nullptr), start{0, 0, 0} {}

PathLine::~PathLine() {
    EraseLine();
}

void PathLine::SetStart(const double* pos) {
    for (int a = 0; a < 3; ++a) start[a] = pos[a];
}

void PathLine::EraseLine() {
    while (lineStart) {
        Particle* next = lineStart->next;
        delete lineStart;
        lineStart = next;
    }
}

bool PathLine::Sample(double* position, Vertex* out) const {
    // Without a volume there is no mesh, so no point is found.
    return vol && vol->InterpolatePoint(position, out);
}

Particle* PathLine::Step(const Particle* from) const {
    Vertex current;
    double position[3] = {from->position[0], from->position[1], from->position[2]};
    if (!Sample(position, &current)) {
        printf("-> TERMINATED: Due to point not found\n");
        return nullptr;
    }
    // Midpoint rule: the momentum half a step ahead drives the whole step.
    double newP[3];
    for (int a = 0; a < 3; ++a) newP[a] = position[a] + 0.5 * current.Momentum[a];
    if (!Sample(newP, &current)) {
        printf("-> TERMINATED: Due to 2nd-order point not found\n");
        return nullptr;
    }
    return new Particle{{position[0] + current.Momentum[0], position[1] + current.Momentum[1],
                         position[2] + current.Momentum[2]},
                        nullptr};
}

void PathLine::Integrate() {
    EraseLine();
    Particle* end = lineStart = new Particle{{start[0], start[1], start[2]}, nullptr};
    for (unsigned counter = 1;; ++counter) {
        Particle* next = Step(end);
        if (next) end = end->next = next;
        if (counter % kProgressEvery == 0) printf("\r%i points computed...", (int)counter);
        if (counter > kMaxSteps) printf("-> TERMINATED: Due to line too long\n");
        if (counter > kMaxSteps || !next) {
            printf("\r-> Pathline terminated with %i points\n", (int)counter);
            return;
        }
    }
}

void PathLine::Render() const {
    if (!lineStart) return;
    glBegin(GL_LINE_STRIP);
    glColor4f(1, 1, 1, 1);
    for (const Particle* p = lineStart; p; p = p->next) glVertex3dv(p->position);
    glEnd();
}
