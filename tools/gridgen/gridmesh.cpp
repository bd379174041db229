#include "tools/gridgen/gridmesh.h"

#include <algorithm>
#include <map>

namespace {

using Index = std::array<int, 3>;

uint32_t NodeNumber(const GridShape& shape, const Index& p) {
    const uint32_t side = uint32_t(shape.cells) + 1;
    return (uint32_t(p[2]) * side + uint32_t(p[1])) * side + uint32_t(p[0]);
}

// The six tetrahedra of the cube whose lowest corner is `c`: each walks from corner 000 to
// corner 111 one axis at a time, in one of the six axis orders, so every cube is split along
// the same diagonal and faces match across cubes. Odd orders get their last two vertices
// swapped, which makes every determinant positive.
std::array<kav::Tet, 6> KuhnSplit(const GridShape& shape, const Index& c) {
    static const int kOrders[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1},
                                      {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
    std::array<kav::Tet, 6> tets;
    for (int t = 0; t < 6; ++t) {
        Index p = c;
        tets[t].v[0] = NodeNumber(shape, p);
        for (int s = 0; s < 3; ++s) {
            ++p[kOrders[t][s]];
            tets[t].v[s + 1] = NodeNumber(shape, p);
        }
        if (t >= 3) std::swap(tets[t].v[2], tets[t].v[3]);
    }
    return tets;
}

// First cube of block b of `blocks` along an axis of `cells` cubes; the sizes differ by one
// at most.
int BlockStart(int b, int blocks, int cells) {
    return int(int64_t(b) * cells / blocks);
}

}  // namespace

std::vector<Vertex> GridNodes(const GridShape& shape, const FlowField& field) {
    std::vector<Vertex> nodes;
    nodes.reserve(size_t(shape.cells + 1) * (shape.cells + 1) * (shape.cells + 1));
    for (int k = 0; k <= shape.cells; ++k) {
        for (int j = 0; j <= shape.cells; ++j) {
            for (int i = 0; i <= shape.cells; ++i) {
                const double p[3] = {double(i), double(j), double(k)};
                nodes.push_back(field.At(p));
            }
        }
    }
    return nodes;
}

std::vector<kav::Tet> GridTetrahedra(const GridShape& shape, std::vector<kav::BlockSpan>* blocks) {
    std::vector<kav::Tet> tets;
    tets.reserve(size_t(6) * shape.cells * shape.cells * shape.cells);
    blocks->clear();
    Index b;
    for (b[2] = 0; b[2] < shape.blocks; ++b[2]) {
        for (b[1] = 0; b[1] < shape.blocks; ++b[1]) {
            for (b[0] = 0; b[0] < shape.blocks; ++b[0]) {
                Index lo, hi;
                kav::BlockSpan span;
                span.first = tets.size();
                for (int a = 0; a < 3; ++a) {
                    lo[a] = BlockStart(b[a], shape.blocks, shape.cells);
                    hi[a] = BlockStart(b[a] + 1, shape.blocks, shape.cells);
                    span.min[a] = lo[a];
                    span.max[a] = hi[a];
                }
                Index c;
                for (c[2] = lo[2]; c[2] < hi[2]; ++c[2]) {
                    for (c[1] = lo[1]; c[1] < hi[1]; ++c[1]) {
                        for (c[0] = lo[0]; c[0] < hi[0]; ++c[0]) {
                            for (const kav::Tet& t : KuhnSplit(shape, c)) tets.push_back(t);
                        }
                    }
                }
                span.count = uint32_t(tets.size() - span.first);
                blocks->push_back(span);
            }
        }
    }
    return tets;
}

namespace {

// Collects the faces of one surface with its own vertex numbering.
class SurfaceBuilder {
public:
    SurfaceBuilder(const GridShape& s, const std::vector<Vertex>& n) : shape(s), nodes(n) {}

    // The cube face on node plane p[axis] whose lowest corner is node p, as two triangles
    // whose normal is sign * e_axis. Their shared diagonal runs from that corner to the
    // opposite one, as in the split of the cubes.
    void AddFace(const Index& p, int axis, int sign) {
        const int t1 = (axis + 1) % 3, t2 = (axis + 2) % 3;
        Index c[4] = {p, p, p, p};  // corners 00, 10, 11, 01: counter-clockwise about e_axis
        ++c[1][t1];
        ++c[2][t1], ++c[2][t2];
        ++c[3][t2];
        if (sign < 0) std::swap(c[1], c[3]);
        kav::Normal normal = {0, 0, 0};
        normal[axis] = sign;
        surface.faces.push_back({Local(c[0]), Local(c[1]), Local(c[2])});
        surface.faces.push_back({Local(c[0]), Local(c[2]), Local(c[3])});
        surface.normals.push_back(normal);
        surface.normals.push_back(normal);
    }

    kav::Surface Take() { return std::move(surface); }

private:
    uint32_t Local(const Index& p) {
        const uint32_t global = NodeNumber(shape, p);
        auto found = local.find(global);
        if (found != local.end()) return found->second;
        const uint32_t number = uint32_t(surface.vertices.size());
        local.emplace(global, number);
        surface.vertices.push_back(nodes[global]);
        return number;
    }

    const GridShape& shape;
    const std::vector<Vertex>& nodes;
    std::map<uint32_t, uint32_t> local;
    kav::Surface surface;
};

// Adds every cube face of node plane `plane` of `axis`, facing `sign`.
void AddPlane(SurfaceBuilder* builder, const GridShape& shape, int axis, int plane, int sign) {
    const int t1 = (axis + 1) % 3, t2 = (axis + 2) % 3;
    Index p;
    p[axis] = plane;
    for (p[t2] = 0; p[t2] < shape.cells; ++p[t2]) {
        for (p[t1] = 0; p[t1] < shape.cells; ++p[t1]) builder->AddFace(p, axis, sign);
    }
}

}  // namespace

std::array<kav::Surface, kSurfaceCount> GridSurfaces(const GridShape& shape,
                                                     const std::vector<Vertex>& nodes) {
    std::array<kav::Surface, kSurfaceCount> surfaces;
    SurfaceBuilder walls(shape, nodes), ceiling(shape, nodes), floor(shape, nodes);
    for (int axis : {0, 2}) {
        AddPlane(&walls, shape, axis, 0, 1);
        AddPlane(&walls, shape, axis, shape.cells, -1);
    }
    AddPlane(&ceiling, shape, 1, shape.cells, -1);
    AddPlane(&floor, shape, 1, 0, 1);
    surfaces[kSurfaceWalls] = walls.Take();
    surfaces[kSurfaceCeiling] = ceiling.Take();
    surfaces[kSurfaceFloor] = floor.Take();
    return surfaces;
}
