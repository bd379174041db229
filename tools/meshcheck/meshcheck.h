// Measures a folder of the viewer's files against the VTK data that kavconvert made it
// from, with VTK as the referee: how the tetrahedra meet, whether the surfaces lie on the
// original boundary, whether the viewer's point location finds the points that VTK's
// locator finds inside the original cells, and where path lines seeded upstream end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace meshcheck {

struct CheckOptions {
    int up = 1;                // the original's up axis, as kavconvert's --up
    uint64_t points = 100000;  // random points for the point location
    int lines = 500;           // path lines seeded upstream
    uint32_t seed = 1;
};

struct Report {
    // The original: its 3D cells and their volume, by the divergence theorem over VTK's
    // faces of them and by VTK's cell size filter (which splits polyhedra its own way).
    uint64_t cells = 0, polyhedra = 0;
    double volume = 0, vtkVolume = 0;
    // The converted volume.
    uint64_t vertices = 0, tetrahedra = 0;
    double tetVolume = 0;
    uint64_t nonPositive = 0;  // tetrahedra with a determinant <= 0
    // Tetrahedron faces by how many tetrahedra share them.
    uint64_t facesShared = 0, facesOnce = 0, facesOverused = 0;
    // Faces used once, and surface triangles, that lie off the original boundary.
    uint64_t falseOnce = 0, falseSurface = 0, surfaceTriangles = 0;
    double boundaryArea = 0, surfaceArea = 0;  // original boundary faces, surface triangles
    double surfaceVolume = 0;                  // the volume that the surfaces enclose
    // Random points in the original's box: inside an original cell per VTK's locator, and
    // of those found by the viewer; found by the viewer only; missed by the viewer though
    // outside the cell that VTK names (a negative weight), inside only by VTK's tolerance.
    uint64_t sampled = 0, fluid = 0, found = 0, viewerOnly = 0, missedInMargin = 0;
    // Path lines seeded upstream inside the fluid, and how they ended: the query that failed
    // inside an original cell (VTK's locator, within the grid's box) or not.
    uint64_t lines = 0, stepLimit = 0, leftFluid = 0, endedInFluid = 0;
};

// Throws std::runtime_error (or kavconvert's ConvertError) when it cannot read the data.
Report Check(const std::string& original, const std::string& kavdir, const CheckOptions& o);

void Print(const Report& r, FILE* out);

}  // namespace meshcheck
