// gridgen's benchmark volume: a conforming, positively oriented grid in blocks that tile it,
// closed by its four surfaces, carrying the analytic flow that the heavy benchmark relies on
// (level sets that cut a large share of the tetrahedra, path lines that cross cells on every
// step). The files are read back with kavconvert's checking readers; that the viewer itself
// opens them is the heavy benchmark's own test (bench_heavy_agrees).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "testutil.h"
#include "tools/gridgen/flowfield.h"
#include "tools/kavconvert/kavfiles.h"

namespace {

// Runs gridgen with `args`; returns its exit status.
int Gridgen(const std::string& args) {
    std::string command = std::string(GRIDGEN) + " " + args + " > /dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes a grid of `cells` cubes in `blocks` blocks per axis into a fresh folder.
std::string MakeGrid(int cells, int blocks) {
    std::string dir = MakeTempDir();
    EXPECT_EQ(
        Gridgen(dir + " --grid " + std::to_string(cells) + " --blocks " + std::to_string(blocks)),
        0);
    return dir;
}

kav::KavVolume ReadGrid(const std::string& dir) {
    return kav::ReadVolume(dir + "/volume.kav");
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The scalars as the viewer takes them: density, energy, momentum magnitude.
double Scalar(const Vertex& v, int field) {
    return field == 0 ? v.Density : field == 1 ? v.Energy : v.MomentumMag;
}

TEST(Gridgen, TetrahedraConformAndBlocksTileTheGrid) {
    const int n = 6;
    std::string dir = MakeGrid(n, 4);
    kav::KavVolume vol = ReadGrid(dir);
    const std::vector<Vertex>& vertices = vol.mesh.vertices;
    EXPECT_EQ(vertices.size(), 343u);
    EXPECT_EQ(vol.mesh.tets.size(), 6u * n * n * n);
    ASSERT_EQ(vol.blocks.size(), 64u);

    double boxVolume = 0;
    std::map<std::array<uint32_t, 3>, int> faces;
    for (const kav::BlockSpan& b : vol.blocks) {
        boxVolume += (b.max[0] - b.min[0]) * (b.max[1] - b.min[1]) * (b.max[2] - b.min[2]);
        for (const kav::BlockSpan& other : vol.blocks) {
            if (&other == &b) continue;
            double overlap = 1;
            for (int a = 0; a < 3; ++a) {
                overlap *= std::max(
                    0.0, std::min(b.max[a], other.max[a]) - std::max(b.min[a], other.min[a]));
            }
            EXPECT_EQ(overlap, 0) << "two block boxes overlap";
        }
        for (size_t i = b.first; i < b.first + b.count; ++i) {
            const kav::Tet& t = vol.mesh.tets[i];
            const double* p[4];
            for (int k = 0; k < 4; ++k) p[k] = vertices[t.v[k]].point;
            EXPECT_DOUBLE_EQ(kav::Determinant(p[0], p[1], p[2], p[3]), 1.0)
                << "a unit cube's six tetrahedra have determinant 1";
            for (int k = 0; k < 4; ++k) {
                for (int a = 0; a < 3; ++a) {
                    EXPECT_GE(p[k][a], b.min[a]);
                    EXPECT_LE(p[k][a], b.max[a]);
                }
            }
            for (int skip = 0; skip < 4; ++skip) {
                std::array<uint32_t, 3> face;
                for (int k = 0, j = 0; k < 4; ++k) {
                    if (k != skip) face[j++] = t.v[k];
                }
                std::sort(face.begin(), face.end());
                ++faces[face];
            }
        }
    }
    EXPECT_EQ(boxVolume, n * n * n);
    // Every face is shared by two tetrahedra, but those on the grid's six sides.
    int boundary = 0;
    for (const auto& [face, count] : faces) {
        ASSERT_LE(count, 2);
        if (count == 2) continue;
        ++boundary;
        bool onSide = false;
        for (int a = 0; a < 3; ++a) {
            for (double side : {0.0, double(n)}) {
                bool all = true;
                for (uint32_t v : face) all &= vertices[v].point[a] == side;
                onSide |= all;
            }
        }
        EXPECT_TRUE(onSide) << "an unshared face inside the grid";
    }
    EXPECT_EQ(boundary, 6 * n * n * 2);
    std::filesystem::remove_all(dir);
}

TEST(Gridgen, VerticesCarryTheFlowAndTheHeaderItsExtremes) {
    const int n = 8;
    std::string dir = MakeGrid(n, 2);
    kav::KavVolume vol = ReadGrid(dir);
    ASSERT_EQ(vol.mesh.vertices.size(), 729u);
    const FlowField field(n);
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (const Vertex& v : vol.mesh.vertices) {
        Vertex expected = field.At(v.point);
        EXPECT_EQ(std::memcmp(&v, &expected, sizeof v), 0) << "not the flow at the vertex";
        const double* m = v.Momentum;
        EXPECT_NEAR(v.MomentumMag, std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]), 1e-15);
        EXPECT_GT(m[0], 0) << "the flow moves towards x = n everywhere";
        for (int f = 0; f < 3; ++f) {
            lo[f] = std::min(lo[f], Scalar(v, f));
            hi[f] = std::max(hi[f], Scalar(v, f));
        }
    }
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(Scalar(vol.minimum, f), lo[f]);
        EXPECT_EQ(Scalar(vol.maximum, f), hi[f]);
    }
    // Speed from 1 to 2 units per unit of time.
    EXPECT_GE(lo[2], 1.0);
    EXPECT_LE(hi[2], 2.0);
    std::filesystem::remove_all(dir);
}

TEST(Gridgen, SurfacesCloseTheGridFacingIn) {
    const int n = 5;
    std::string dir = MakeGrid(n, 1);
    kav::KavVolume vol = ReadGrid(dir);
    std::map<std::array<double, 3>, const Vertex*> nodes;
    for (const Vertex& v : vol.mesh.vertices) nodes[{v.point[0], v.point[1], v.point[2]}] = &v;
    const size_t expected[4] = {4u * n * n * 2, n * n * 2u, 0, n * n * 2u};
    for (int role = 0; role < 4; ++role) {
        kav::Surface s = kav::ReadSurface(dir + "/" + SurfaceFileName(role));
        ASSERT_EQ(s.faces.size(), expected[role]) << SurfaceFileName(role);
        for (size_t i = 0; i < s.faces.size(); ++i) {
            const double* p[3];
            for (int k = 0; k < 3; ++k) p[k] = s.vertices[s.faces[i][k]].point;
            double u[3], w[3], c[3];
            for (int a = 0; a < 3; ++a) u[a] = p[1][a] - p[0][a], w[a] = p[2][a] - p[1][a];
            c[0] = u[1] * w[2] - u[2] * w[1];
            c[1] = u[2] * w[0] - u[0] * w[2];
            c[2] = u[0] * w[1] - u[1] * w[0];
            const kav::Normal& normal = s.normals[i];
            EXPECT_GT(c[0] * normal[0] + c[1] * normal[1] + c[2] * normal[2], 0)
                << "corners run counter-clockwise about the stored normal";
            // Half a cell along the normal from the centroid is inside the grid.
            for (int a = 0; a < 3; ++a) {
                double x = (p[0][a] + p[1][a] + p[2][a]) / 3 + 0.5 * normal[a];
                EXPECT_GT(x, 0);
                EXPECT_LT(x, n);
            }
        }
        for (const Vertex& v : s.vertices) {
            auto node = nodes.find({v.point[0], v.point[1], v.point[2]});
            ASSERT_NE(node, nodes.end()) << "a surface vertex off the grid's nodes";
            EXPECT_EQ(std::memcmp(&v, node->second, sizeof v), 0) << "flow values differ";
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(Gridgen, EveryRunWritesTheSameBytes) {
    std::string a = MakeGrid(7, 3), b = MakeGrid(7, 3);
    for (std::string name :
         {"volume.kav", "surface-1.kav", "surface-2.kav", "surface-3.kav", "surface-4.kav"}) {
        std::string bytes = FileBytes(a + "/" + name);
        EXPECT_FALSE(bytes.empty()) << name;
        EXPECT_TRUE(bytes == FileBytes(b + "/" + name)) << name;
    }
    std::filesystem::remove_all(a);
    std::filesystem::remove_all(b);
}

TEST(Gridgen, BadOptionsWriteNothing) {
    std::string parent = MakeTempDir();
    std::string dir = parent + "/out";
    for (const char* args : {"--grid 0", "--grid 301", "--grid 5x", "--grid", "--blocks 0",
                             "--grid 4 --blocks 5", "--colour red"}) {
        EXPECT_EQ(Gridgen(dir + " " + args), 2) << args;
        EXPECT_FALSE(std::filesystem::exists(dir)) << args;
    }
    EXPECT_EQ(Gridgen(""), 2);
    EXPECT_EQ(Gridgen(dir + " " + dir + "2"), 2);
    std::filesystem::remove_all(parent);
}

// The benchmark's isosurfaces: the middle of each field's range cuts between a tenth and a
// fifth of the tetrahedra, on a grid big enough to hold two wavelengths.
TEST(Gridgen, LevelSetsInTheMiddleCutManyTetrahedra) {
    std::string dir = MakeGrid(40, 3);
    kav::KavVolume vol = ReadGrid(dir);
    for (int f = 0; f < 3; ++f) {
        const double value = 0.5 * (Scalar(vol.minimum, f) + Scalar(vol.maximum, f));
        size_t cut = 0;
        for (const kav::Tet& t : vol.mesh.tets) {
            int above = 0;
            for (uint32_t v : t.v) above += Scalar(vol.mesh.vertices[v], f) >= value;
            cut += above > 0 && above < 4;
        }
        EXPECT_GT(cut, vol.mesh.tets.size() / 10) << "field " << f;
        EXPECT_LT(cut, vol.mesh.tets.size() / 5) << "field " << f;
    }
    std::filesystem::remove_all(dir);
}

// The benchmark's path lines: midpoint steps of one unit of time through the flow move one to
// two units each, a cube's edge or more, so that a step almost never ends in the tetrahedron it
// started in; they wind around the axis and leave through x = n after about 170 steps.
TEST(Gridgen, PathLinesCrossCellsOnEveryStep) {
    const int n = 100;
    const FlowField field(n);
    double p[3] = {10, 60, 55};
    int steps = 0;
    double turned = 0, previous = std::atan2(p[2] - 50, p[1] - 50);
    while (p[0] < n && steps < 1000) {
        Vertex here = field.At(p);
        double mid[3];
        for (int a = 0; a < 3; ++a) mid[a] = p[a] + 0.5 * here.Momentum[a];
        Vertex half = field.At(mid);
        EXPECT_GE(half.MomentumMag, 1.0);
        EXPECT_LE(half.MomentumMag, 2.0);
        EXPECT_GE(half.MomentumMag / here.MomentumMag, 0.5) << "smooth along a step";
        for (int a = 0; a < 3; ++a) p[a] += half.Momentum[a];
        double angle = std::atan2(p[2] - 50, p[1] - 50);
        turned += std::remainder(angle - previous, 2 * M_PI);
        previous = angle;
        ++steps;
    }
    EXPECT_GT(steps, 150);
    EXPECT_LT(steps, 210);
    EXPECT_GT(std::fabs(turned), 4 * M_PI) << "winds around the axis";
}

}  // namespace
