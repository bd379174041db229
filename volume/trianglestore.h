// Isosurface triangles, in the order extraction made them.
#pragma once

#include <cstddef>
#include <vector>

#include "volume/types.h"

// One isosurface triangle: corners in drawing order and its unit normal.
struct Triangle {
    Vector point[3];
    Vector normal;
};

// Clearing keeps the memory, so that extracting into the same store again touches no fresh
// pages. The surface's list order is the reverse of the order of making: newest first.
class TriangleStore {
public:
    void Clear() { triangles.clear(); }
    // Adds the triangle p1, p2, p3 with its unit normal, (p2 - p1) x (p3 - p2) normalised.
    void Add(const double* p1, const double* p2, const double* p3);

    size_t Size() const { return triangles.size(); }
    bool Empty() const { return triangles.empty(); }
    // Triangle i in the order of making.
    const Triangle& operator[](size_t i) const { return triangles[i]; }

private:
    std::vector<Triangle> triangles;
};
