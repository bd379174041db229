// The parts of citygen's wind solver: the pressure equation, the solved flow on the
// staggered grid, the vertex records made from it, the stages and the meshes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tools/citygen/cityfiles.h"
#include "tools/citygen/grid.h"
#include "tools/citygen/mesh.h"
#include "tools/citygen/parallel.h"
#include "tools/citygen/pressure.h"
#include "tools/citygen/staggered.h"
#include "tools/citygen/vertexrecords.h"
#include "tools/citygen/wind.h"

namespace {

using namespace citygen;

// Two buildings of different heights; on a grid of 16 cells across, the lee face of one and
// the front face of the other fall on the same grid plane.
std::vector<Box> TwoBuildings() {
    return {Box{{-200, 0, -150}, {-50, 120, 0}}, Box{{-50, 0, 100}, {100, 60, 250}}};
}

// Values in [-1, 1) from a fixed sequence, zero outside the air cells.
std::vector<double> Noise(const Staggered& s, uint32_t seed) {
    std::vector<double> v = Field(s);
    for (size_t c = 0; c < s.size; ++c) {
        seed = seed * 1664525u + 1013904223u;
        if (s.air[c]) v[c] = (seed >> 8) * 0x1.0p-23 - 1.0;
    }
    return v;
}

double Dot(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

TEST(Pressure, OperatorIsSymmetricPositiveAndSolved) {
    const Grid g = MakeGrid({20, 10, 20}, TwoBuildings(), 5);
    const Staggered s = MakeStaggered(g);
    PressureSolver solver(s);
    const std::vector<double> x = Noise(s, 1), y = Noise(s, 2);
    std::vector<double> ax = Field(s), ay = Field(s);
    solver.Multiply(x, ax);
    solver.Multiply(y, ay);
    EXPECT_NEAR(Dot(x, ay), Dot(y, ax), 1e-9 * std::fabs(Dot(x, ay)));
    EXPECT_GT(Dot(x, ax), 0.0);

    const std::vector<double> b = Noise(s, 3);
    std::vector<double> phi = Field(s);
    const int iterations = solver.Solve(b, phi, 1e-9, 300);
    EXPECT_LT(iterations, 300);
    EXPECT_LE(solver.Residual(b, phi), 1e-9);
    for (size_t c = 0; c < s.size; ++c) {
        if (!s.air[c]) {
            ASSERT_EQ(phi[c], 0.0) << "a value inside a building or outside";
        }
    }
}

// Net outflow of air cell c.
double Outflow(const WindField& w, size_t c) {
    const Staggered& s = w.grid;
    double out = 0.0;
    for (int a = 0; a < 3; ++a)
        out += s.Area(a) * (w.velocity[a][c + s.stride[a]] - w.velocity[a][c]);
    return out;
}

class SolvedWind : public testing::Test {
protected:
    static void SetUpTestSuite() {
        field = new WindField(SolveWind(TwoBuildings(), {{{16, 8, 16}, 200.0, 50.0}}, Quiet));
    }
    static void TearDownTestSuite() { delete field; }
    static void Quiet(const std::string&) {}
    static WindField* field;
};
WindField* SolvedWind::field = nullptr;

TEST_F(SolvedWind, EveryAirCellKeepsItsMassAndTheWallsHoldNoFlow) {
    const Staggered& s = field->grid;
    ASSERT_GT(s.n[0], 16) << "the solution reaches past the domain's downwind side";
    double inflow = 0.0, outflow = 0.0, largest = 0.0;
    for (int k = 0; k < s.n[2]; ++k) {
        for (int j = 0; j < s.n[1]; ++j) {
            const double y = kLo[1] + s.h[1] * j + 0.5 * s.h[1];
            const size_t in = s.At(0, j, k), out = s.At(s.n[0], j, k);
            ASSERT_EQ(s.kind[0][in], kFaceInlet);
            EXPECT_NEAR(field->velocity[0][in], ApproachWind(y), 1e-12);
            inflow += s.Area(0) * field->velocity[0][in];
            outflow += s.Area(0) * field->velocity[0][out];
            for (int i = 0; i < s.n[0]; ++i) {
                const size_t c = s.At(i, j, k);
                if (s.air[c]) largest = std::max(largest, std::fabs(Outflow(*field, c)));
            }
        }
    }
    EXPECT_NEAR(outflow, inflow, 1e-7 * inflow);
    EXPECT_LE(largest, 1e-8 * kWind * s.Area(0));
    for (int a = 0; a < 3; ++a) {
        for (size_t f = 0; f < s.size; ++f) {
            const uint8_t kind = s.kind[a][f];
            if (kind == kFaceWall || kind == kFaceDead) {
                ASSERT_EQ(field->velocity[a][f], 0.0);
            }
        }
    }
}

TEST_F(SolvedWind, SameFlowWithOneThreadOrTwo) {
    const std::vector<WindStage> stages{{{16, 8, 16}, 40.0, 10.0}};
    WindField one, two;
    {
        const ThreadLimit limit(1);
        one = SolveWind(TwoBuildings(), stages, Quiet);
    }
    {
        const ThreadLimit limit(2);
        two = SolveWind(TwoBuildings(), stages, Quiet);
    }
    for (int a = 0; a < 3; ++a) EXPECT_TRUE(one.velocity[a] == two.velocity[a]) << "axis " << a;
    EXPECT_TRUE(one.pressure == two.pressure);
}

TEST_F(SolvedWind, LinearInterpolationOfTheRecordsCarriesEachPlanesFlow) {
    // Through every node plane across each axis, the records' momentum interpolated on the
    // faces' triangles (weights 1/3, 1/6, 1/3, 1/6 from corner 00) passes the flow of the
    // solution's faces, building edges and all.
    const Grid g = MakeGrid({16, 8, 16}, TwoBuildings());
    const std::vector<uint8_t> walls = WallAxes(g);
    const std::vector<Record> records = VertexRecords(g, *field, walls);
    const Staggered& s = field->grid;
    const double weight[4] = {1.0 / 3, 1.0 / 6, 1.0 / 3, 1.0 / 6};
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3, c = (a + 2) % 3;
        for (int plane = 0; plane <= g.n[a]; ++plane) {
            double faces = 0.0, linear = 0.0;
            Index p;
            p[a] = plane;
            for (p[c] = 0; p[c] < g.n[c]; ++p[c]) {
                for (p[b] = 0; p[b] < g.n[b]; ++p[b]) {
                    const size_t f = s.At(p[0], p[1], p[2]);
                    if (!HasValue(s.kind[a][f])) continue;
                    faces += field->velocity[a][f];
                    for (int k = 0; k < 4; ++k) {
                        Index q = p;
                        q[b] += k == 1 || k == 2;
                        q[c] += k >= 2;
                        const Record& r = records[g.Node(q)];
                        linear += weight[k] * r[kMomX + a] / r[kDensity];
                    }
                }
            }
            EXPECT_NEAR(linear, faces, 1e-6 * std::max(1.0, std::fabs(faces)))
                << "axis " << a << " plane " << plane;
        }
    }
    // No component across a wall of a building or the floor.
    for (size_t id = 0; id < records.size(); ++id) {
        for (int a = 0; a < 3; ++a) {
            if ((walls[id] >> a) & 1) {
                ASSERT_EQ(records[id][kMomX + a], 0.0);
            }
        }
    }
}

TEST_F(SolvedWind, CityFilesHoldWhatTheyCountAndAFileThatFailsIsNamed) {
    namespace fs = std::filesystem;
    const Grid g = MakeGrid({16, 8, 16}, TwoBuildings());
    const std::vector<Record> records = VertexRecords(g, *field, WallAxes(g));
    char pattern[] = "/tmp/velmora-cityfiles-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    CityCounts counts;
    std::string error;
    ASSERT_TRUE(WriteCity(dir, g, records, &counts, &error)) << error;
    size_t air = 0;
    for (uint8_t solid : g.solid) air += !solid;
    EXPECT_EQ(counts.tetras, 6 * air);
    EXPECT_EQ(counts.blocks, 1u);  // one chunk of 16^3 cells holds the whole grid
    EXPECT_EQ(fs::file_size(dir + "/volume.kav"),
              152 + 72 * counts.vertices + counts.blocks * 52 + 16 * counts.tetras);
    for (int s = 0; s < 4; ++s) {
        const size_t size = fs::file_size(dir + "/surface-" + std::to_string(s + 1) + ".kav");
        ASSERT_GT(counts.triangles[s], 0u);
        ASSERT_GT(size, 156 + 36 * counts.triangles[s]);
        EXPECT_EQ((size - 156 - 36 * counts.triangles[s]) % 72, 0u);
    }
    // A folder in the way of a file: the volume and the first two surfaces are written,
    // the third is not, and the error names it.
    fs::remove(dir + "/surface-3.kav");
    fs::create_directory(dir + "/surface-3.kav");
    EXPECT_FALSE(WriteCity(dir, g, records, &counts, &error));
    EXPECT_NE(error.find("cannot write " + dir + "/surface-3.kav"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir + "/surface-3.kav"));
    fs::remove_all(dir + "/volume.kav");
    fs::create_directory(dir + "/volume.kav");
    EXPECT_FALSE(WriteCity(dir, g, records, &counts, &error));
    EXPECT_NE(error.find("volume.kav"), std::string::npos) << error;
    fs::remove_all(dir);
}

TEST(VertexRecords, UniformWindAndPressureComeOutUnchanged) {
    const Grid g = MakeGrid({6, 4, 5}, {});
    WindField w{MakeStaggered(g), {}, {}};
    for (auto& v : w.velocity) v = Field(w.grid);
    w.pressure = Field(w.grid);
    for (size_t f = 0; f < w.grid.size; ++f) {
        if (HasValue(w.grid.kind[0][f])) w.velocity[0][f] = 3.0;
        if (w.grid.air[f]) w.pressure[f] = 2.0;
    }
    const std::vector<Record> records = VertexRecords(g, w, WallAxes(g));
    const double rho = kDensity0 + kDensity0 * 2.0 / (kGamma * kPressure0 / kDensity0);
    for (const Record& r : records) {
        ASSERT_DOUBLE_EQ(r[kDensity], rho);
        ASSERT_NEAR(r[kMomX], rho * 3.0, 1e-12);
        ASSERT_EQ(r[kMomY], 0.0);  // every node has a floor or ceiling face or none
        ASSERT_NEAR(r[kMomZ], 0.0, 1e-12);
        ASSERT_NEAR(r[kMomMag], rho * 3.0, 1e-12);
        const double energy = (kPressure0 + kDensity0 * 2.0) / (kGamma - 1) + 0.5 * rho * 9.0;
        ASSERT_NEAR(r[kEnergy], energy, 1e-9 * energy);
    }
}

TEST(Stages, CoarserGridsFirstEndingOnTheGridAsked) {
    EXPECT_EQ(WindStages({16, 8, 16}).size(), 1u);
    for (const Index& cells : {Index{72, 36, 72}, Index{144, 72, 144}}) {
        const std::vector<WindStage> stages = WindStages(cells);
        ASSERT_GE(stages.size(), 2u);
        EXPECT_EQ(stages.back().cells, cells);
        EXPECT_EQ(stages.front().cells[1], 18);
        for (size_t i = 0; i < stages.size(); ++i) {
            EXPECT_GT(stages[i].average, 0.0);
            EXPECT_LT(stages[i].average, stages[i].time);
            if (i > 0) {
                EXPECT_EQ(stages[i].cells[0], 2 * stages[i - 1].cells[0]);
            }
        }
    }
}

TEST(Mesh, TetrahedraArePositiveAndWallAxesMarkTheFaces) {
    const Grid g = MakeGrid({20, 10, 20}, TwoBuildings());
    const Index c{3, 2, 7};
    for (const Tetra& t : KuhnSplit(g, c)) {
        Vec3 p[4];
        for (int k = 0; k < 4; ++k) {
            const Index n = g.NodePosition(t[k]);
            for (int a = 0; a < 3; ++a) p[k][a] = g.Coord(a, n[a]);
        }
        Vec3 e[3];
        for (int k = 0; k < 3; ++k) {
            for (int a = 0; a < 3; ++a) e[k][a] = p[k + 1][a] - p[0][a];
        }
        const double det = e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) -
                           e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
                           e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
        EXPECT_NEAR(det, g.h[0] * g.h[1] * g.h[2], 1e-6 * g.h[0] * g.h[1] * g.h[2]);
    }
    const std::vector<uint8_t> walls = WallAxes(g);
    const Box& tall = g.buildings[0];
    auto node = [&](double x, double y, double z) {
        return g.Node({int(std::lround((x - kLo[0]) / g.h[0])), int(std::lround(y / g.h[1])),
                       int(std::lround((z - kLo[2]) / g.h[2]))});
    };
    EXPECT_EQ(walls[node(tall.lo[0], tall.hi[1], tall.lo[2])], 7);  // a roof corner
    EXPECT_EQ(walls[node(tall.lo[0], 0, tall.lo[2])], 7);           // a foot corner, on the floor
    EXPECT_EQ(walls[node(tall.lo[0], tall.hi[1] / 2, tall.lo[2])], 5);  // a vertical edge
    EXPECT_EQ(walls[node(0.5 * (tall.lo[0] + tall.hi[0]), tall.hi[1], tall.lo[2])], 6);
    EXPECT_EQ(walls[node(tall.lo[0], tall.hi[1] / 2, 0.5 * (tall.lo[2] + tall.hi[2]))], 1);
    EXPECT_EQ(walls[node(400, 0, 400)], 2);    // open floor
    EXPECT_EQ(walls[node(400, 125, 400)], 0);  // open air
}

}  // namespace
