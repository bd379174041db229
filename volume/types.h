// Record types shared by the volume, the surfaces and the isosurface.
#pragma once

#include <cstdint>

// x, y, z. Positions, directions and momentum.
typedef double Vector[3];

// Three vertex indices of a surface triangle.
typedef uint32_t Face[3];

// One sample of the flow; also the 72-byte vertex record of both data files,
// which is why the members are plain doubles in file order.
struct Vertex {
    Vector point;
    double Density;
    double Energy;
    Vector Momentum;
    double MomentumMag;
};

static_assert(sizeof(Vertex) == 72, "Vertex must match the 72-byte file record");
