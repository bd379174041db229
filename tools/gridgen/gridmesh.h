// The benchmark volume's mesh: a grid of unit cubes, each split into six tetrahedra, filed in
// a lattice of blocks, and the four boundary surfaces that let the viewer open it.
#pragma once

#include <array>
#include <vector>

#include "tools/gridgen/flowfield.h"
#include "tools/kavconvert/mesh.h"

struct GridShape {
    int cells = 100;  // cubes per axis; the grid spans [0, cells] on each axis
    int blocks = 7;   // blocks per axis
};

// Every node of the grid with its flow values, x fastest, then y, then z.
std::vector<Vertex> GridNodes(const GridShape& shape, const FlowField& field);

// The tetrahedra of all blocks, block after block in x-fastest block order; within a block
// the cubes in x-fastest order, six tetrahedra each. Block boxes are the boxes of their cubes,
// so neighbouring blocks share faces and no box overlaps another's inside.
std::vector<kav::Tet> GridTetrahedra(const GridShape& shape, std::vector<kav::BlockSpan>* blocks);

// The walls (x = 0, x = cells, z = 0, z = cells), the ceiling (y = cells), the city (none)
// and the floor (y = 0), each cube face split along the diagonal the cubes use and facing
// into the grid, with the flow values of its nodes.
std::array<kav::Surface, kSurfaceCount> GridSurfaces(const GridShape& shape,
                                                     const std::vector<Vertex>& nodes);
