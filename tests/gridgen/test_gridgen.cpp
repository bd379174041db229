// gridgen's benchmark volume: a conforming, positively oriented grid in blocks that tile it,
// closed by its four surfaces, with the flow that the heavy benchmark relies on (level sets
// that cut a large share of the tetrahedra, path lines that cross cells on every step).
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
#include "tools/kavconvert/kavfiles.h"
#include "volume/pathline.h"
#include "volume/tetravolume.h"

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

void LoadQuietly(TetrahedralVolume& vol, const std::string& dir) {
    testing::internal::CaptureStdout();
    vol.ReadFile((dir + "/volume.kav").c_str());
    testing::internal::GetCapturedStdout();
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

double Det(const Tetra& t) {
    double e[3][3];
    for (int k = 0; k < 3; ++k) {
        for (int a = 0; a < 3; ++a) e[k][a] = t.v[k + 1]->point[a] - t.v[0]->point[a];
    }
    return e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) +
           e[0][1] * (e[1][2] * e[2][0] - e[1][0] * e[2][2]) +
           e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
}

double Scalar(const Vertex& v, FieldVar field) {
    return field == fieldDensity ? v.Density : field == fieldEnergy ? v.Energy : v.MomentumMag;
}

TEST(Gridgen, TetrahedraConformAndBlocksTileTheGrid) {
    const int n = 6;
    std::string dir = MakeGrid(n, 4);
    TetrahedralVolume vol;
    LoadQuietly(vol, dir);
    EXPECT_EQ(vol.GetNumPoints(), 343u);

    std::vector<const Block*> blocks;
    for (const Block* b = vol.GetFirstBlock(); b; b = b->next) blocks.push_back(b);
    ASSERT_EQ(blocks.size(), 64u);
    double boxVolume = 0;
    uint64_t tetrahedra = 0;
    std::map<std::array<const Vertex*, 3>, int> faces;
    for (const Block* b : blocks) {
        boxVolume += (b->max[0] - b->min[0]) * (b->max[1] - b->min[1]) * (b->max[2] - b->min[2]);
        for (const Block* other : blocks) {
            if (other == b) continue;
            double overlap = 1;
            for (int a = 0; a < 3; ++a) {
                overlap *= std::max(
                    0.0, std::min(b->max[a], other->max[a]) - std::max(b->min[a], other->min[a]));
            }
            EXPECT_EQ(overlap, 0) << "two block boxes overlap";
        }
        tetrahedra += b->num_Tetra;
        for (uint32_t i = 0; i < b->num_Tetra; ++i) {
            const Tetra& t = b->tetra[i];
            EXPECT_DOUBLE_EQ(Det(t), 1.0) << "a unit cube's six tetrahedra have determinant 1";
            for (const Vertex* v : t.v) {
                for (int a = 0; a < 3; ++a) {
                    EXPECT_GE(v->point[a], b->min[a]);
                    EXPECT_LE(v->point[a], b->max[a]);
                }
            }
            for (int skip = 0; skip < 4; ++skip) {
                std::array<const Vertex*, 3> face;
                for (int k = 0, j = 0; k < 4; ++k) {
                    if (k != skip) face[j++] = t.v[k];
                }
                std::sort(face.begin(), face.end());
                ++faces[face];
            }
        }
    }
    EXPECT_EQ(boxVolume, n * n * n);
    EXPECT_EQ(tetrahedra, 6u * n * n * n);
    // Every face is shared by two tetrahedra, but those on the grid's six sides.
    int boundary = 0;
    for (const auto& [face, count] : faces) {
        ASSERT_LE(count, 2);
        if (count == 2) continue;
        ++boundary;
        bool onSide = false;
        for (int a = 0; a < 3; ++a) {
            for (double side : {0.0, double(n)}) {
                onSide |= face[0]->point[a] == side && face[1]->point[a] == side &&
                          face[2]->point[a] == side;
            }
        }
        EXPECT_TRUE(onSide) << "an unshared face inside the grid";
    }
    EXPECT_EQ(boundary, 6 * n * n * 2);
    std::filesystem::remove_all(dir);
}

TEST(Gridgen, FlowValuesMatchTheHeader) {
    std::string dir = MakeGrid(8, 2);
    TetrahedralVolume vol;
    LoadQuietly(vol, dir);
    std::map<const Vertex*, bool> seen;
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (const Block* b = vol.GetFirstBlock(); b; b = b->next) {
        for (uint32_t i = 0; i < b->num_Tetra; ++i) {
            for (const Vertex* v : b->tetra[i].v) {
                if (seen[v]) continue;
                seen[v] = true;
                const double* m = v->Momentum;
                EXPECT_NEAR(v->MomentumMag, std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]),
                            1e-15);
                EXPECT_GT(m[0], 0) << "the flow moves towards x = n everywhere";
                for (int f = 0; f < 3; ++f) {
                    lo[f] = std::min(lo[f], Scalar(*v, FieldVar(f)));
                    hi[f] = std::max(hi[f], Scalar(*v, FieldVar(f)));
                }
            }
        }
    }
    EXPECT_EQ(seen.size(), 729u);
    for (int f = 0; f < 3; ++f) {
        double range[2];
        vol.GetRange(FieldVar(f), range);
        EXPECT_EQ(range[0], lo[f]);
        EXPECT_EQ(range[1], hi[f]);
    }
    // Speed from 1 to 2 units per unit of time.
    EXPECT_GE(lo[fieldMomentum], 1.0);
    EXPECT_LE(hi[fieldMomentum], 2.0);
    std::filesystem::remove_all(dir);
}

TEST(Gridgen, SurfacesCloseTheGridFacingIn) {
    const int n = 5;
    std::string dir = MakeGrid(n, 1);
    TetrahedralVolume vol;
    LoadQuietly(vol, dir);
    std::map<std::array<double, 3>, const Vertex*> nodes;
    const Block* block = vol.GetFirstBlock();
    for (uint32_t i = 0; i < block->num_Tetra; ++i) {
        for (const Vertex* v : block->tetra[i].v)
            nodes[{v->point[0], v->point[1], v->point[2]}] = v;
    }
    const size_t expected[4] = {4u * n * n * 2, n * n * 2u, 0, n * n * 2u};
    for (int role = 0; role < 4; ++role) {
        kav::Surface s = kav::ReadSurface(dir + "/" + kav::SurfaceFileName(role));
        ASSERT_EQ(s.faces.size(), expected[role]) << kav::SurfaceFileName(role);
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

// What the benchmark's workloads need, on a grid big enough to hold two wavelengths.
TEST(Gridgen, LevelSetsCutManyCellsAndLinesCrossCellsEveryStep) {
    const int n = 40;
    std::string dir = MakeGrid(n, 3);
    TetrahedralVolume vol;
    LoadQuietly(vol, dir);
    for (int f = 0; f < 3; ++f) {
        double range[2];
        vol.GetRange(FieldVar(f), range);
        const double value = 0.5 * (range[0] + range[1]);
        uint64_t cut = 0, all = 0;
        for (const Block* b = vol.GetFirstBlock(); b; b = b->next) {
            for (uint32_t i = 0; i < b->num_Tetra; ++i, ++all) {
                int above = 0;
                for (const Vertex* v : b->tetra[i].v) above += Scalar(*v, FieldVar(f)) >= value;
                cut += above > 0 && above < 4;
            }
        }
        EXPECT_GT(cut, all / 10) << "field " << f;
        EXPECT_LT(cut, all / 5) << "field " << f;
    }
    // A line seeded near the low end winds around the axis and leaves through x = n.
    PathLine line;
    line.SetVolume(&vol);
    const double seed[3] = {5, 23, 23};
    line.SetStart(seed);
    testing::internal::CaptureStdout();
    line.Integrate();
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("TERMINATED: Due to"), std::string::npos);
    EXPECT_EQ(console.find("too long"), std::string::npos);
    int steps = 0;
    const Particle* last = line.First();
    for (const Particle* p = line.First(); p->next; p = p->next, ++steps) {
        double d2 = 0;
        for (int a = 0; a < 3; ++a) {
            double d = p->next->position[a] - p->position[a];
            d2 += d * d;
        }
        // Longer than a cube's face diagonal is wide: no step stays in its tetrahedron.
        EXPECT_GE(std::sqrt(d2), 0.99);
        EXPECT_LE(std::sqrt(d2), 2.01);
        last = p->next;
    }
    EXPECT_GT(last->position[0], n - 2.01);
    EXPECT_GT(steps, 40);
    EXPECT_LT(steps, 100);
    std::filesystem::remove_all(dir);
}

}  // namespace
