#include "tools/citygen/staggered.h"

namespace citygen {
namespace {

// The ghost kind of a position outside the grid: by the first axis on which it lies out.
FaceKind GhostKind(const Index& p, const Index& n, int axis) {
    for (int b = 0; b < 3; ++b) {
        const int last = b == axis ? n[b] : n[b] - 1;
        if (p[b] >= 0 && p[b] <= last) continue;
        if (b == 0) return p[b] < 0 ? kGhostInlet : kGhostOutlet;
        if (b == 1 && p[b] < 0) return kGhostFloor;
        return kGhostFree;
    }
    return kFaceDead;
}

FaceKind Kind(const Grid& g, const Index& p, int axis) {
    for (int b = 0; b < 3; ++b) {
        const int last = b == axis ? g.n[b] : g.n[b] - 1;
        if (p[b] < 0 || p[b] > last) return GhostKind(p, g.n, axis);
    }
    Index below = p;
    --below[axis];
    const bool airBelow = g.Air(below), airAbove = g.Air(p);
    if (airBelow && airAbove) return kFaceOpen;
    if (!airBelow && !airAbove) return kFaceDead;
    if (axis == 0 && p[0] == 0) return kFaceInlet;
    if (axis == 0 && p[0] == g.n[0]) return kFaceOutlet;
    return kFaceWall;
}

}  // namespace

Staggered MakeStaggered(const Grid& g) {
    Staggered s;
    s.n = g.n;
    s.h = g.h;
    const int pad = Staggered::kPad;
    const ptrdiff_t sx = g.n[0] + 1 + 2 * pad, sy = g.n[1] + 1 + 2 * pad;
    const ptrdiff_t sz = g.n[2] + 1 + 2 * pad;
    s.stride = {1, sx, sx * sy};
    s.size = size_t(sx * sy * sz);
    s.air.assign(s.size, 0);
    for (auto& k : s.kind) k.assign(s.size, kFaceDead);
    Index p;
    for (p[2] = -pad; p[2] < sz - pad; ++p[2]) {
        for (p[1] = -pad; p[1] < sy - pad; ++p[1]) {
            for (p[0] = -pad; p[0] < sx - pad; ++p[0]) {
                const size_t id = s.At(p[0], p[1], p[2]);
                s.air[id] = g.Air(p);
                for (int a = 0; a < 3; ++a) s.kind[a][id] = Kind(g, p, a);
            }
        }
    }
    return s;
}

}  // namespace citygen
