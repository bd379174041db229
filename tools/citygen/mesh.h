// The meshes written from the grid: the air cells cut into tetrahedra and grouped in
// blocks, and the four city surfaces as cell faces cut into triangles that match faces of
// those tetrahedra.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/citygen/grid.h"

namespace citygen {

constexpr int kChunk = 16;  // edge of a volume block, in cells

using Tetra = std::array<size_t, 4>;  // grid node ids

// The six tetrahedra of cell c along its diagonal from corner 000 to corner 111: each walks
// from 000 to 111 one axis at a time, in one of the six axis orders. Every cell is split
// the same way, so the mesh is conforming, and every tetrahedron has a positive determinant.
std::array<Tetra, 6> KuhnSplit(const Grid& g, const Index& c);

// One block of the volume: the chunk of cells lo .. hi - 1 and the tetrahedra of its air
// cells, in x-fastest cell order.
struct Block {
    Index lo, hi;
    std::vector<Tetra> tetras;
};

// Calls visit(block) for the chunks of kChunk^3 cells in x-fastest order, leaving out those
// without air. One block is built at a time.
void ForEachBlock(const Grid& g, const std::function<void(const Block&)>& visit);

// Grid nodes marked in `used`, in node order, and each node's number among them.
struct Numbering {
    std::vector<uint32_t> nodes;  // number -> grid node
    std::vector<uint32_t> local;  // grid node -> number (meaningful for used nodes only)
};
Numbering NumberNodes(const std::vector<uint8_t>& used);

// The nodes of the air cells, which are the volume's vertices.
Numbering VolumeNumbering(const Grid& g);

// A cell face with its corners counter-clockwise seen from the side its normal points to;
// it is cut into the triangles (0, 1, 2) and (0, 2, 3).
struct Quad {
    std::array<size_t, 4> node;
    int axis;  // the normal is sign * e_axis
    int sign;
};

enum SurfaceRole { kWalls, kCeiling, kBuildings, kFloor };

// The faces of one surface, facing into the air: the four sides x = min, x = max, z = min,
// z = max; the ceiling; every face between a building and the air; the floor under air.
std::vector<Quad> SurfaceQuads(const Grid& g, SurfaceRole role);

// Per grid node, bit a set when the node lies on a face of the buildings or the floor whose
// normal lies along axis a.
std::vector<uint8_t> WallAxes(const Grid& g);

}  // namespace citygen
