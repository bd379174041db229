#include "tools/citygen/mesh.h"

#include <algorithm>
#include <utility>

namespace citygen {
namespace {

// Calls f(cell) for every air cell of the chunk [lo, hi), in x-fastest order.
template <typename F>
void ForAirCells(const Grid& g, const Index& lo, const Index& hi, F f) {
    Index c;
    for (c[2] = lo[2]; c[2] < hi[2]; ++c[2]) {
        for (c[1] = lo[1]; c[1] < hi[1]; ++c[1]) {
            for (c[0] = lo[0]; c[0] < hi[0]; ++c[0]) {
                if (g.Air(c)) f(c);
            }
        }
    }
}

// The face on node plane p[axis] whose lowest corner is node p. With tangents t1, t2 such
// that t1 x t2 = e_axis, corners 00, 10, 11, 01 run counter-clockwise around +e_axis.
Quad Face(const Grid& g, const Index& p, int axis, int sign) {
    const size_t base = g.Node(p);
    const size_t t1 = g.stride[(axis + 1) % 3], t2 = g.stride[(axis + 2) % 3];
    if (sign > 0) return Quad{{base, base + t1, base + t1 + t2, base + t2}, axis, sign};
    return Quad{{base, base + t2, base + t1 + t2, base + t1}, axis, sign};
}

// Calls f(p) for the lowest corner of every cell face on node plane `plane` of `axis`.
template <typename F>
void ForPlaneFaces(const Grid& g, int axis, int plane, F f) {
    const int t1 = (axis + 1) % 3, t2 = (axis + 2) % 3;
    Index p;
    p[axis] = plane;
    for (p[t2] = 0; p[t2] < g.n[t2]; ++p[t2]) {
        for (p[t1] = 0; p[t1] < g.n[t1]; ++p[t1]) f(p);
    }
}

std::vector<Quad> WallQuads(const Grid& g) {
    std::vector<Quad> quads;
    for (int axis : {0, 2}) {
        for (int side = 0; side < 2; ++side) {
            ForPlaneFaces(g, axis, side * g.n[axis], [&](const Index& p) {
                quads.push_back(Face(g, p, axis, side ? -1 : 1));
            });
        }
    }
    return quads;
}

std::vector<Quad> CeilingQuads(const Grid& g) {
    std::vector<Quad> quads;
    ForPlaneFaces(g, 1, g.n[1], [&](const Index& p) { quads.push_back(Face(g, p, 1, -1)); });
    return quads;
}

std::vector<Quad> FloorQuads(const Grid& g) {
    std::vector<Quad> quads;
    ForPlaneFaces(g, 1, 0, [&](const Index& p) {
        if (g.Air(p)) quads.push_back(Face(g, p, 1, 1));
    });
    return quads;
}

std::vector<Quad> BuildingQuads(const Grid& g) {
    std::vector<Quad> quads;
    for (int axis = 0; axis < 3; ++axis) {
        for (int plane = 1; plane < g.n[axis]; ++plane) {
            ForPlaneFaces(g, axis, plane, [&](const Index& p) {
                Index below = p;
                --below[axis];
                const bool airBelow = g.Air(below), airAbove = g.Air(p);
                if (airAbove && !airBelow) quads.push_back(Face(g, p, axis, 1));
                if (airBelow && !airAbove) quads.push_back(Face(g, p, axis, -1));
            });
        }
    }
    return quads;
}

}  // namespace

std::array<Tetra, 6> KuhnSplit(const Grid& g, const Index& c) {
    static const int kOrders[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1},
                                      {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
    std::array<Tetra, 6> tets;
    for (int t = 0; t < 6; ++t) {
        Tetra& v = tets[t];
        v[0] = g.Node(c);
        for (int s = 0; s < 3; ++s) v[s + 1] = v[s] + g.stride[kOrders[t][s]];
        if (t >= 3) std::swap(v[2], v[3]);  // odd axis orders: keep the determinant positive
    }
    return tets;
}

void ForEachBlock(const Grid& g, const std::function<void(const Block&)>& visit) {
    Block b;
    Index lo;
    for (lo[2] = 0; lo[2] < g.n[2]; lo[2] += kChunk) {
        for (lo[1] = 0; lo[1] < g.n[1]; lo[1] += kChunk) {
            for (lo[0] = 0; lo[0] < g.n[0]; lo[0] += kChunk) {
                b.lo = lo;
                for (int a = 0; a < 3; ++a) b.hi[a] = std::min(lo[a] + kChunk, g.n[a]);
                b.tetras.clear();
                ForAirCells(g, b.lo, b.hi, [&](const Index& c) {
                    for (const Tetra& t : KuhnSplit(g, c)) b.tetras.push_back(t);
                });
                if (!b.tetras.empty()) visit(b);
            }
        }
    }
}

Numbering NumberNodes(const std::vector<uint8_t>& used) {
    Numbering n;
    n.local.assign(used.size(), 0);
    for (size_t id = 0; id < used.size(); ++id) {
        if (!used[id]) continue;
        n.local[id] = uint32_t(n.nodes.size());
        n.nodes.push_back(uint32_t(id));
    }
    return n;
}

Numbering VolumeNumbering(const Grid& g) {
    std::vector<uint8_t> used(g.Nodes(), 0);
    ForAirCells(g, {0, 0, 0}, g.n, [&](const Index& c) {
        for (int corner = 0; corner < 8; ++corner) {
            Index p = c;
            for (int a = 0; a < 3; ++a) p[a] += (corner >> a) & 1;
            used[g.Node(p)] = 1;
        }
    });
    return NumberNodes(used);
}

std::vector<Quad> SurfaceQuads(const Grid& g, SurfaceRole role) {
    switch (role) {
        case kWalls:
            return WallQuads(g);
        case kCeiling:
            return CeilingQuads(g);
        case kBuildings:
            return BuildingQuads(g);
        case kFloor:
            return FloorQuads(g);
    }
    return {};
}

std::vector<uint8_t> WallAxes(const Grid& g) {
    std::vector<uint8_t> axes(g.Nodes(), 0);
    for (SurfaceRole role : {kBuildings, kFloor}) {
        for (const Quad& q : SurfaceQuads(g, role)) {
            for (size_t id : q.node) axes[id] |= uint8_t(1 << q.axis);
        }
    }
    return axes;
}

}  // namespace citygen
