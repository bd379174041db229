// The demo city's wind, measured on the files citygen writes: the same mass flow through
// every plane across the wind, recirculation behind the buildings, no flow through the
// floor or the buildings, headers and records that agree, and the same bytes from every run
// and thread count. The measures themselves are checked first on hand-made meshes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "windmeasure.h"

namespace {

using namespace windmeasure;

constexpr double kDensity0 = 1.225;    // air at rest, as citygen writes it
constexpr double kPressure0 = 101325;  // pressure where the wind leaves the domain
constexpr double kGamma = 1.4;

// ---------------------------------------------------------------------------------------
// The measures on hand-made meshes

// A box of n^3 unit cubes from the origin, each cut into the six tetrahedra around its
// diagonal, with momentum m(point) at every vertex.
template <typename Momentum>
Volume CubeMesh(int n, Momentum m) {
    Volume v;
    auto id = [n](int i, int j, int k) { return uint32_t(i + (n + 1) * (j + (n + 1) * k)); };
    for (int k = 0; k <= n; ++k) {
        for (int j = 0; j <= n; ++j) {
            for (int i = 0; i <= n; ++i) {
                const std::array<double, 3> p{double(i), double(j), double(k)};
                v.vertices.push_back(Record{p, 1.0, 1.0, m(p), 0.0});
            }
        }
    }
    const int orders[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                for (const auto& order : orders) {
                    int c[3] = {i, j, k};
                    std::array<uint32_t, 4> tet{id(i, j, k), 0, 0, 0};
                    for (int s = 0; s < 3; ++s) {
                        ++c[order[s]];
                        tet[s + 1] = id(c[0], c[1], c[2]);
                    }
                    v.tetras.push_back(tet);
                }
            }
        }
    }
    v.minimum = v.vertices.front();
    v.maximum = v.vertices.back();
    return v;
}

TEST(WindMeasure, MassFlowIntegratesTheLinearMomentumOverEveryCut) {
    // Uniform momentum: flow = momentum x area on every plane, node planes included (a face
    // in the plane counts once). Momentum x = 1 + y: flow = area x (1 + mean y) = 9 x 2.5.
    const Volume uniform = CubeMesh(3, [](const std::array<double, 3>&) {
        return std::array<double, 3>{2.0, 0.5, -0.25};
    });
    const MeanWind wind = MeasureMeanWind(uniform);
    EXPECT_EQ(wind.axis, 0);
    EXPECT_EQ(wind.sign, 1);
    EXPECT_NEAR(wind.momentum[0], 2.0, 1e-12);
    const MassFlow flow = MeasureMassFlow(uniform, wind, 5);  // x = 0.5, 1, 1.5, 2, 2.5
    ASSERT_EQ(flow.flows.size(), 5u);
    for (double f : flow.flows) EXPECT_NEAR(f, 18.0, 1e-9);
    EXPECT_NEAR(flow.worstDeviation, 0.0, 1e-12);

    const Volume sheared = CubeMesh(3, [](const std::array<double, 3>& p) {
        return std::array<double, 3>{1.0 + p[1], 0.0, 0.0};
    });
    const MassFlow shear = MeasureMassFlow(sheared, MeasureMeanWind(sheared), 7);
    for (double f : shear.flows) EXPECT_NEAR(f, 22.5, 1e-9);

    // Against the wind along -z, through planes across z.
    const Volume back = CubeMesh(2, [](const std::array<double, 3>&) {
        return std::array<double, 3>{0.1, 0.0, -3.0};
    });
    const MeanWind backWind = MeasureMeanWind(back);
    EXPECT_EQ(backWind.axis, 2);
    EXPECT_EQ(backWind.sign, -1);
    for (double f : MeasureMassFlow(back, backWind, 3).flows) EXPECT_NEAR(f, 12.0, 1e-9);
}

TEST(WindMeasure, MassFlowSeesALeak) {
    Volume v = CubeMesh(4, [](const std::array<double, 3>&) {
        return std::array<double, 3>{1.0, 0.0, 0.0};
    });
    for (Record& r : v.vertices) {
        if (r.point[0] == 2.0) r.momentum[0] = 0.5;  // one plane of slow vertices
    }
    const MassFlow flow = MeasureMassFlow(v, MeasureMeanWind(v), 9);
    EXPECT_GT(flow.worstDeviation, 0.1);
}

// The walls of a box building [lo, hi], four quads with vertices of their own, cut into
// triangles with outward normals.
Surface BoxSurface(const std::array<double, 3>& lo, const std::array<double, 3>& hi) {
    Surface s;
    for (int axis = 0; axis < 3; ++axis) {
        if (axis == 1) continue;  // the walls only
        for (int side = 0; side < 2; ++side) {
            const uint32_t base = uint32_t(s.vertices.size());
            const int t1 = (axis + 1) % 3, t2 = (axis + 2) % 3;
            for (int corner = 0; corner < 4; ++corner) {
                std::array<double, 3> p;
                p[axis] = side ? hi[axis] : lo[axis];
                p[t1] = (corner == 1 || corner == 2) ? hi[t1] : lo[t1];
                p[t2] = corner >= 2 ? hi[t2] : lo[t2];
                s.vertices.push_back(Record{p, 1, 1, {0, 0, 0}, 0});
            }
            std::array<double, 3> n{0, 0, 0};
            n[axis] = side ? 1 : -1;
            s.triangles.push_back({base, base + 1, base + 2});
            s.triangles.push_back({base, base + 2, base + 3});
            s.normals.push_back(n);
            s.normals.push_back(n);
        }
    }
    return s;
}

TEST(WindMeasure, WakesCountReversedFlowOnlyInTheLeeZone) {
    Volume v = CubeMesh(8, [](const std::array<double, 3>&) {
        return std::array<double, 3>{1.0, 0.0, 0.0};
    });
    Surface building = BoxSurface({2, 0, 3}, {3, 2, 5});  // lee face x = 3, height 2
    const Surface other = BoxSurface({6, 0, 0}, {7, 1, 1});
    for (const Record& r : other.vertices) building.vertices.push_back(r);
    for (size_t t = 0; t < other.triangles.size(); ++t) {
        auto tri = other.triangles[t];
        for (uint32_t& id : tri) id += uint32_t(building.vertices.size() - other.vertices.size());
        building.triangles.push_back(tri);
        building.normals.push_back(other.normals[t]);
    }
    auto set = [&](double x, double y, double z, double mx) {
        for (Record& r : v.vertices) {
            if (r.point == std::array<double, 3>{x, y, z}) r.momentum[0] = mx;
        }
    };
    set(6, 1, 4, -1.0);  // too far behind (3 > height 2)
    set(4, 2, 4, -1.0);  // at roof height, not below it
    set(4, 1, 6, -1.0);  // beside the building
    set(3, 1, 4, -1.0);  // on the lee face itself
    Wakes w = MeasureWakes(v, building, MeasureMeanWind(v));
    ASSERT_EQ(w.buildings.size(), 2u);
    EXPECT_EQ(w.withRecirculation, 0u);
    EXPECT_EQ(w.reversedEverywhere, 4u);
    // Zone of the first building: x in (3, 5], y in [0, 2), z in [3, 5]: 2 x 2 x 3 vertices.
    EXPECT_EQ(w.zoneVertices[0], 12u);
    set(5, 1, 5, -0.1);
    w = MeasureWakes(v, building, MeasureMeanWind(v));
    EXPECT_EQ(w.withRecirculation, 1u);
    EXPECT_EQ(w.reversedVertices[0], 1u);
}

TEST(WindMeasure, WallsCatchMomentumAlongAnyFaceNormal) {
    Volume v = CubeMesh(4, [](const std::array<double, 3>& p) {
        return std::array<double, 3>{p[1], 0.0, 1.0};  // along the z faces of the building
    });
    Surface building = BoxSurface({1, 0, 1}, {2, 2, 2});
    Walls w = MeasureWalls(v, {&building}, 1e-12);
    EXPECT_EQ(w.missingVertices, 0u);
    // Every corner of the building touches a z face: all of them leak through it.
    EXPECT_EQ(w.vertices, 8u);
    EXPECT_EQ(w.leakyVertices, 8u);
    for (Record& r : v.vertices) r.momentum[2] = 0.0;
    w = MeasureWalls(v, {&building}, 1e-12);  // now x faces: momentum x = y is 0 only at y = 0
    EXPECT_EQ(w.leakyVertices, 4u);
    EXPECT_NEAR(w.worstRatio, 2.0 / 4.0, 1e-12);
    building.vertices[0].momentum = {3, 0, 0};  // the surface's own record counts too
    for (Record& r : v.vertices) r.momentum[0] = 0.0;
    w = MeasureWalls(v, {&building}, 1e-12);
    EXPECT_EQ(w.leakyVertices, 1u);
}

// ---------------------------------------------------------------------------------------
// citygen's files

// Runs citygen with `args`; returns its exit status and fills `output` with stdout and
// stderr.
int RunCitygen(const std::string& args, std::string* output) {
    const std::string command = std::string(CITYGEN) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char chunk[4096];
    output->clear();
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output->append(chunk, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TempDir() {
    char pattern[] = "/tmp/velmora-wind-XXXXXX";
    return mkdtemp(pattern) ? pattern : "";
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const char* const kFiles[] = {"volume.kav", "surface-1.kav", "surface-2.kav", "surface-3.kav",
                              "surface-4.kav"};

// One generated city, read back; the folder goes when the suite ends.
struct City {
    std::string dir, log, error;
    Volume volume;
    Surface surfaces[4];  // walls, ceiling, buildings, floor

    explicit City(const std::string& args) : dir(TempDir()) {
        if (dir.empty() || RunCitygen(dir + " " + args, &log) != 0) {
            error = "citygen " + args + " failed:\n" + log;
            return;
        }
        if (!ReadVolume(dir + "/volume.kav", &volume, &error)) return;
        for (int s = 0; s < 4; ++s) {
            const std::string name = dir + "/surface-" + std::to_string(s + 1) + ".kav";
            if (!ReadSurface(name, &surfaces[s], &error)) return;
        }
    }
    ~City() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
};

void ExpectNoFlowThroughWalls(const City& city) {
    ASSERT_EQ(city.error, "");
    const Walls w = MeasureWalls(city.volume, {&city.surfaces[2], &city.surfaces[3]}, 1e-12);
    EXPECT_GT(w.vertices, 0u);
    EXPECT_EQ(w.missingVertices, 0u) << "surface vertices without a volume vertex";
    EXPECT_EQ(w.leakyVertices, 0u)
        << "largest normal momentum " << w.worstRatio << " of the largest momentum";
}

class SmallCity : public testing::Test {
protected:
    static void SetUpTestSuite() { city = std::make_unique<City>("--small"); }
    static void TearDownTestSuite() { city.reset(); }
    static std::unique_ptr<City> city;
};
std::unique_ptr<City> SmallCity::city;

TEST_F(SmallCity, NoFlowThroughTheFloorOrTheBuildings) {
    ExpectNoFlowThroughWalls(*city);
}

TEST_F(SmallCity, WindBlowsAlongXAndPassesEveryGridPlaneAlike) {
    // Through the planes of grid nodes the linear interpolation carries the solution's own
    // flow, which passes every plane alike; what is left is the air's slight compression.
    // (Between those planes, cells this coarse let it vary by about 1 %.)
    ASSERT_EQ(city->error, "");
    const MeanWind wind = MeasureMeanWind(city->volume);
    EXPECT_EQ(wind.axis, 0);
    EXPECT_EQ(wind.sign, 1);
    const MassFlow flow = MeasureMassFlow(city->volume, wind, 15);  // every 62.5 units
    EXPECT_LT(flow.worstDeviation, 1e-4);
}

TEST_F(SmallCity, SurfaceHeadersCarryTheVolumeRangesAndTheirOwnBox) {
    ASSERT_EQ(city->error, "");
    const Volume& v = city->volume;
    for (const Surface& s : city->surfaces) {
        ASSERT_FALSE(s.vertices.empty());
        EXPECT_EQ(s.minimum.density, v.minimum.density);
        EXPECT_EQ(s.maximum.density, v.maximum.density);
        EXPECT_EQ(s.minimum.energy, v.minimum.energy);
        EXPECT_EQ(s.maximum.energy, v.maximum.energy);
        EXPECT_EQ(s.minimum.momentumMag, v.minimum.momentumMag);
        EXPECT_EQ(s.maximum.momentumMag, v.maximum.momentumMag);
        std::array<double, 3> lo = s.vertices[0].point, hi = lo;
        for (const Record& r : s.vertices) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], r.point[a]);
                hi[a] = std::max(hi[a], r.point[a]);
            }
        }
        EXPECT_EQ(s.minimum.point, lo);
        EXPECT_EQ(s.maximum.point, hi);
    }
    // The volume's ranges are those of its vertices; its box is the domain.
    double lo = v.vertices[0].energy, hi = lo;
    for (const Record& r : v.vertices) lo = std::min(lo, r.energy), hi = std::max(hi, r.energy);
    EXPECT_EQ(v.minimum.energy, lo);
    EXPECT_EQ(v.maximum.energy, hi);
    EXPECT_LT(lo, hi);
    EXPECT_EQ(v.minimum.point, (std::array<double, 3>{-500, 0, -500}));
    EXPECT_EQ(v.maximum.point, (std::array<double, 3>{500, 250, 500}));
}

TEST_F(SmallCity, DensityAndEnergyFollowThePressure) {
    // Weakly compressible air: density changes with the pressure at the speed of sound of
    // air at rest, and energy = p / (gamma - 1) + rho |u|^2 / 2.
    ASSERT_EQ(city->error, "");
    const double sound2 = kGamma * kPressure0 / kDensity0;
    double pLo = 1e300, pHi = -1e300;
    for (const Record& r : city->volume.vertices) {
        const double p = kPressure0 + (r.density - kDensity0) * sound2;
        const double m2 = r.momentum[0] * r.momentum[0] + r.momentum[1] * r.momentum[1] +
                          r.momentum[2] * r.momentum[2];
        ASSERT_NEAR(r.energy, p / (kGamma - 1) + 0.5 * m2 / r.density, 1e-6);
        ASSERT_NEAR(r.momentumMag, std::sqrt(m2), 1e-12);
        pLo = std::min(pLo, p), pHi = std::max(pHi, p);
    }
    // The buildings hold up the wind: the pressure varies by about rho U^2 / 2.
    EXPECT_GT(pHi - pLo, 0.5);
    EXPECT_LT(pHi - pLo, 50.0);
}

TEST_F(SmallCity, SameBytesFromEveryRunAndThreadCount) {
    ASSERT_EQ(city->error, "");
    for (const char* threads : {"--threads 1", "--threads 2", "--threads 3"}) {
        const City again(std::string("--small ") + threads);
        ASSERT_EQ(again.error, "");
        for (const char* file : kFiles) {
            EXPECT_TRUE(FileBytes(city->dir + "/" + file) == FileBytes(again.dir + "/" + file))
                << file << " differs with " << threads;
        }
    }
}

TEST(Citygen, RefusesBadArgumentsWithAMessage) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    std::string out;
    for (const std::string& args :
         {std::string(""), dir + " --bogus", dir + " " + dir, dir + " --small --large",
          dir + " --threads 0", dir + " --threads two", dir + " --threads"}) {
        EXPECT_EQ(RunCitygen(args, &out), 1) << args;
        EXPECT_NE(out.find("citygen: "), std::string::npos) << args << ": " << out;
        EXPECT_NE(out.find("usage:"), std::string::npos) << args;
    }
    // A folder that cannot be made: a file stands in its way.
    std::ofstream(dir + "/file") << "x";
    EXPECT_EQ(RunCitygen(dir + "/file/city --small", &out), 1);
    EXPECT_NE(out.find("cannot create"), std::string::npos) << out;
    EXPECT_EQ(RunCitygen("--help", &out), 0);
    EXPECT_NE(out.find("--threads"), std::string::npos);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

// The default city: the targets the demo is built to meet.
class DefaultCity : public testing::Test {
protected:
    static void SetUpTestSuite() { city = std::make_unique<City>(""); }
    static void TearDownTestSuite() { city.reset(); }
    static std::unique_ptr<City> city;
};
std::unique_ptr<City> DefaultCity::city;

TEST_F(DefaultCity, MassFlowThroughEveryPlaneAcrossTheWindIsTheSame) {
    ASSERT_EQ(city->error, "");
    const MeanWind wind = MeasureMeanWind(city->volume);
    ASSERT_EQ(wind.axis, 0);
    ASSERT_EQ(wind.sign, 1);
    const MassFlow flow = MeasureMassFlow(city->volume, wind, 99);
    for (size_t p = 0; p < flow.flows.size(); ++p) {
        EXPECT_LE(std::fabs(flow.flows[p] - flow.mean), 0.01 * flow.mean)
            << "plane x = " << flow.positions[p];
    }
}

TEST_F(DefaultCity, MostBuildingsHaveARecirculationZone) {
    ASSERT_EQ(city->error, "");
    const Wakes w = MeasureWakes(city->volume, city->surfaces[2], MeasureMeanWind(city->volume));
    ASSERT_GE(w.buildings.size(), 20u);
    EXPECT_GE(w.withRecirculation, (w.buildings.size() * 8 + 9) / 10)
        << w.withRecirculation << " of " << w.buildings.size() << " buildings";
}

TEST_F(DefaultCity, NoFlowThroughTheFloorOrTheBuildings) {
    ExpectNoFlowThroughWalls(*city);
}

}  // namespace
