// Isosurface extraction: the case table, interpolation, the triangle list and the console lines,
// and the fast extraction against a plain per-tetrahedron reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "math/math.h"
#include "scene/isosurface.h"
#include "testutil.h"
#include "tetmesh.h"
#include "volume/marchingtetra.h"
#include "volume/tetravolume.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

void Load(TetrahedralVolume& vol, const std::string& bytes) {
    LoadQuietly(bytes, [&](FILE* file) { vol.ReadStream(file, "volume.kav"); });
}

// Extracts into the isosurface, as "Generate" does, with the console captured; returns what
// it printed. `threads` 0 is the default count.
std::string Generate(const TetrahedralVolume& vol, Isosurface& iso, int threads = 0) {
    TriangleStore store;
    CaptureStdout();
    ExtractIsosurface(vol, iso.GetField(), iso.GetValue(), &store, Console(), nullptr, threads);
    iso.Swap(store);
    return GetCapturedStdout();
}

// The triangles in list order: newest first.
std::vector<const Triangle*> Triangles(const TriangleStore& store) {
    std::vector<const Triangle*> out;
    for (size_t i = store.Size(); i-- > 0;) out.push_back(&store[i]);
    return out;
}

std::vector<const Triangle*> Triangles(const Isosurface& iso) {
    return Triangles(iso.GetTriangles());
}

const double kCorner[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

// One block holding the unit tetrahedron with vertex i at corner order[i], density d[i].
VolumeBytes UnitTetra(const double* d, const int* order = nullptr) {
    static const int identity[4] = {0, 1, 2, 3};
    if (!order) order = identity;
    VolumeBytes f;
    for (int i = 0; i < 4; ++i) {
        const double* c = kCorner[order[i]];
        f.vertices.push_back(MakeVertex(c[0], c[1], c[2], d[i]));
    }
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3}});
    return f;
}

struct Extracted {
    std::vector<std::array<double, 12>> tris;  // three corners, then the normal
    std::string console;
};

Extracted Extract(const VolumeBytes& f, FieldVar field, double value) {
    TetrahedralVolume vol;
    Load(vol, f.Bytes());
    Isosurface iso;
    iso.SetField(field);
    iso.SetValue(value);
    Extracted r;
    r.console = Generate(vol, iso);
    for (const Triangle* t : Triangles(iso)) {
        std::array<double, 12> a;
        memcpy(a.data(), t->point, sizeof t->point);
        memcpy(a.data() + 9, t->normal, sizeof t->normal);
        r.tris.push_back(a);
    }
    return r;
}

double Dot(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

bool SamePoint(const double* a, const double* b) {
    return memcmp(a, b, 3 * sizeof(double)) == 0;
}

// ---- A plain transcription of marching tetrahedra, one vertex scalar lookup at a time.

double RefScalar(FieldVar field, const Vertex* v) {
    switch (field) {
        case fieldDensity:
            return v->Density;
        case fieldEnergy:
            return v->Energy;
        case fieldMomentum:
            return v->MomentumMag;
    }
    return kNaN;
}

// Triangles in list order (newest first) and the per-block counts in block order.
void RefExtract(const TetrahedralVolume& vol, FieldVar field, double value,
                std::vector<std::array<double, 12>>* tris, std::vector<int>* counts) {
    static const int kEdge[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
    static const int kCases[16][7] = {
        {-1, -1, -1, -1, -1, -1, -1}, {0, 3, 2, -1, -1, -1, -1}, {0, 1, 4, -1, -1, -1, -1},
        {3, 2, 4, 4, 2, 1, -1},       {1, 2, 5, -1, -1, -1, -1}, {3, 5, 1, 3, 1, 0, -1},
        {0, 2, 5, 0, 5, 4, -1},       {3, 5, 4, -1, -1, -1, -1}, {3, 4, 5, -1, -1, -1, -1},
        {0, 4, 5, 0, 5, 2, -1},       {0, 5, 3, 0, 1, 5, -1},    {5, 2, 1, -1, -1, -1, -1},
        {3, 4, 1, 3, 1, 2, -1},       {0, 4, 1, -1, -1, -1, -1}, {0, 2, 3, -1, -1, -1, -1},
        {-1, -1, -1, -1, -1, -1, -1}};
    std::vector<std::array<double, 12>> made;
    for (const Block& b : vol.GetBlocks()) {
        int count = 0;
        for (uint32_t n = 0; n < b.num_Tetra; ++n) {
            const Vertex* const* v = b.tetra[n].v;
            int c = 0;
            for (int i = 0; i < 4; ++i) c += RefScalar(field, v[i]) >= value ? 1 << i : 0;
            for (const int* e = kCases[c]; *e >= 0; e += 3, ++count) {
                std::array<double, 12> t;
                for (int k = 0; k < 3; ++k) {
                    const int* vert = kEdge[e[k]];
                    double delta = RefScalar(field, v[vert[1]]) - RefScalar(field, v[vert[0]]);
                    int v1 = vert[0], v2 = vert[1];
                    if (!(delta > 0)) {
                        std::swap(v1, v2);
                        delta = -delta;
                    }
                    double s = delta == 0 ? 0 : (value - RefScalar(field, v[v1])) / delta;
                    for (int a = 0; a < 3; ++a) {
                        t[3 * k + a] = v[v1]->point[a] + s * (v[v2]->point[a] - v[v1]->point[a]);
                    }
                }
                CrossProd3(&t[0], &t[3], &t[6], &t[9]);
                made.push_back(t);
            }
        }
        counts->push_back(count);
    }
    tris->assign(made.rbegin(), made.rend());
}

std::vector<int> ConsoleCounts(const std::string& console) {
    std::vector<int> counts;
    int number, count, consumed;
    const char* p = console.c_str();
    while (sscanf(p, "Block %d processed.. %d triangles added.\n%n", &number, &count, &consumed) ==
           2) {
        EXPECT_EQ(number, (int)counts.size() + 1);
        counts.push_back(count);
        p += consumed;
    }
    EXPECT_EQ(*p, '\0') << "unexpected console text: " << p;
    return counts;
}

// Extracts at each value in turn with one volume and one isosurface (the first extraction of
// a field records the ranges that the later ones skip by), comparing each surface with the
// reference bit for bit, triangles and per-block counts alike.
void ExpectMatchesReference(const std::string& bytes, FieldVar field,
                            const std::vector<double>& values, int threads = 0) {
    TetrahedralVolume vol;
    Load(vol, bytes);
    Isosurface iso;
    iso.SetField(field);
    for (double value : values) {
        iso.SetValue(value);
        std::string console = Generate(vol, iso, threads);
        std::vector<std::array<double, 12>> expected;
        std::vector<int> counts;
        RefExtract(vol, field, value, &expected, &counts);
        EXPECT_EQ(ConsoleCounts(console), counts) << "field " << field << " value " << value;
        std::vector<const Triangle*> got = Triangles(iso);
        ASSERT_EQ(got.size(), expected.size()) << "field " << field << " value " << value;
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(memcmp(got[i]->point, expected[i].data(), 9 * sizeof(double)), 0)
                << "triangle " << i << " field " << field << " value " << value;
            ASSERT_EQ(memcmp(got[i]->normal, expected[i].data() + 9, 3 * sizeof(double)), 0)
                << "normal " << i << " field " << field << " value " << value;
        }
    }
}

}  // namespace

TEST(MarchingTetra, EveryCaseCutsTheCrossedEdgesFacingTheVerticesAbove) {
    for (int c = 0; c < 16; ++c) {
        double d[4];
        int above = 0;
        double aboveCentre[3] = {0, 0, 0};
        for (int i = 0; i < 4; ++i) {
            d[i] = (c >> i) & 1;
            above += (c >> i) & 1;
            for (int a = 0; a < 3; ++a) aboveCentre[a] += d[i] * kCorner[i][a];
        }
        for (int a = 0; a < 3 && above; ++a) aboveCentre[a] /= above;
        Extracted r = Extract(UnitTetra(d), fieldDensity, 0.5);
        const size_t expected = above == 0 || above == 4 ? 0 : above == 2 ? 2 : 1;
        ASSERT_EQ(r.tris.size(), expected) << "case " << c;

        // Every corner is the midpoint of an edge from a vertex above to one below, and the
        // triangles together reach every such edge.
        std::vector<std::array<double, 3>> distinct;
        for (const auto& t : r.tris) {
            for (int k = 0; k < 3; ++k) {
                const double* p = &t[3 * k];
                bool onCrossedEdge = false;
                for (int i = 0; i < 4; ++i) {
                    for (int j = 0; j < 4; ++j) {
                        if (d[i] != 1 || d[j] != 0) continue;
                        double mid[3];
                        for (int a = 0; a < 3; ++a) mid[a] = 0.5 * (kCorner[i][a] + kCorner[j][a]);
                        onCrossedEdge |= SamePoint(mid, p);
                    }
                }
                EXPECT_TRUE(onCrossedEdge) << "case " << c;
                std::array<double, 3> q = {p[0], p[1], p[2]};
                if (std::find(distinct.begin(), distinct.end(), q) == distinct.end()) {
                    distinct.push_back(q);
                }
            }
            // The unit normal points from the triangle towards the vertices above.
            const double* n = &t[9];
            EXPECT_NEAR(Dot(n, n), 1.0, 1e-12) << "case " << c;
            double toAbove[3];
            for (int a = 0; a < 3; ++a)
                toAbove[a] = aboveCentre[a] - (t[a] + t[3 + a] + t[6 + a]) / 3;
            EXPECT_GT(Dot(n, toAbove), 0) << "case " << c;
        }
        EXPECT_EQ(distinct.size(), (size_t)(above * (4 - above))) << "case " << c;

        // Two triangles split their quadrilateral along a diagonal: they share two corners,
        // and their other corners lie on opposite sides of the shared edge.
        if (expected == 2) {
            const auto& t0 = r.tris[0];
            const auto& t1 = r.tris[1];
            std::vector<int> shared, only0;
            for (int k = 0; k < 3; ++k) {
                bool in1 = false;
                for (int m = 0; m < 3; ++m) in1 |= SamePoint(&t0[3 * k], &t1[3 * m]);
                (in1 ? shared : only0).push_back(k);
            }
            ASSERT_EQ(shared.size(), 2u) << "case " << c;
            int only1 = -1;
            for (int m = 0; m < 3; ++m) {
                if (!SamePoint(&t1[3 * m], &t0[3 * shared[0]]) &&
                    !SamePoint(&t1[3 * m], &t0[3 * shared[1]])) {
                    only1 = m;
                }
            }
            const double* a = &t0[3 * shared[0]];
            const double* b = &t0[3 * shared[1]];
            double ab[3], ap[3], aq[3], s0[3], s1[3];
            for (int x = 0; x < 3; ++x) {
                ab[x] = b[x] - a[x];
                ap[x] = t0[3 * only0[0] + x] - a[x];
                aq[x] = t1[3 * only1 + x] - a[x];
            }
            double o[3] = {0, 0, 0};
            CrossProd3(o, ab, ap, s0);  // along ab x (ap - ab), which is ab x ap
            CrossProd3(o, ab, aq, s1);
            EXPECT_LT(Dot(s0, s1), 0) << "case " << c;
        }
    }
}

TEST(MarchingTetra, WorkedExampleAndLeftHandedOrder) {
    const double d[4] = {1, 0, 0, 0};
    Extracted r = Extract(UnitTetra(d), fieldDensity, 0.5);
    ASSERT_EQ(r.tris.size(), 1u);
    const double expected[9] = {0.5, 0, 0, 0, 0, 0.5, 0, 0.5, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(r.tris[0][i], expected[i]) << i;
    const double n = -1 / std::sqrt(3.0);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(r.tris[0][9 + a], n, 1e-15);

    // Swapping positions 1 and 2 makes the frame left-handed: the normal turns away from the
    // vertex above.
    const int swapped[4] = {0, 2, 1, 3};
    Extracted l = Extract(UnitTetra(d, swapped), fieldDensity, 0.5);
    ASSERT_EQ(l.tris.size(), 1u);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(l.tris[0][9 + a], -n, 1e-15);
}

TEST(MarchingTetra, AVertexAtTheValueCountsAsAbove) {
    // Vertex 0 exactly at the value: case 1, and the triangle collapses onto vertex 0 with a
    // zero normal.
    const double d[4] = {0.5, 0, 0, 0};
    Extracted r = Extract(UnitTetra(d), fieldDensity, 0.5);
    ASSERT_EQ(r.tris.size(), 1u);
    for (double x : r.tris[0]) EXPECT_EQ(x, 0.0);

    // All four at the value: case 15, nothing.
    const double all[4] = {0.5, 0.5, 0.5, 0.5};
    EXPECT_TRUE(Extract(UnitTetra(all), fieldDensity, 0.5).tris.empty());
}

TEST(MarchingTetra, SharedEdgeGivesTheSamePointInEitherVertexOrder) {
    // Two tetrahedra on the same four vertices, listing the first edge's ends in opposite
    // orders; the crossing on that edge must come out bit for bit the same in both.
    VolumeBytes f;
    f.vertices = {MakeVertex(0.1, 0.3, 0.7, 0.1), MakeVertex(1.3, 0.2, 0.1, 0.7),
                  MakeVertex(0.2, 1.1, 0.3, 0.7), MakeVertex(0.3, 0.1, 1.9, 0.7)};
    f.blocks.push_back({{0, 2, 0, 2, 0, 2}, {0, 1, 2, 3}});
    f.blocks.push_back({{0, 2, 0, 2, 0, 2}, {1, 0, 2, 3}});
    Extracted r = Extract(f, fieldDensity, 0.3);
    ASSERT_EQ(r.tris.size(), 2u);
    bool found = false;
    for (int k = 0; k < 3; ++k) {
        for (int m = 0; m < 3; ++m) found |= SamePoint(&r.tris[0][3 * k], &r.tris[1][3 * m]);
    }
    // All three crossings lie on edges from vertex 0, so all three points are shared.
    EXPECT_TRUE(found);
    std::vector<std::array<double, 3>> a, b;
    for (int k = 0; k < 3; ++k) {
        a.push_back({r.tris[0][3 * k], r.tris[0][3 * k + 1], r.tris[0][3 * k + 2]});
        b.push_back({r.tris[1][3 * k], r.tris[1][3 * k + 1], r.tris[1][3 * k + 2]});
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
}

TEST(Isosurface, ListGrowsAtTheHeadAndEachBlockReportsItsCount) {
    // File order: A (one tetrahedron cut once), B (empty), C (two tetrahedra, two triangles
    // each), D (all below the value). The list visits D, C, B, A.
    VolumeBytes f;
    f.vertices = {MakeVertex(0, 0, 0, 1), MakeVertex(1, 0, 0, 0), MakeVertex(0, 1, 0, 0),
                  MakeVertex(0, 0, 1, 0), MakeVertex(0, 0, 0, 1), MakeVertex(1, 0, 0, 1),
                  MakeVertex(0, 1, 0, 0), MakeVertex(0, 0, 1, 0)};
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3}});
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {}});
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {4, 5, 6, 7, 4, 5, 6, 7}});
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {1, 2, 3, 6}});
    Extracted r = Extract(f, fieldDensity, 0.5);
    EXPECT_EQ(r.console,
              "Block 1 processed.. 0 triangles added.\n"
              "Block 2 processed.. 4 triangles added.\n"
              "Block 3 processed.. 0 triangles added.\n"
              "Block 4 processed.. 1 triangles added.\n");
    ASSERT_EQ(r.tris.size(), 5u);
    // Newest first: block A's one triangle (the worked example) came last.
    EXPECT_EQ(r.tris[0][0], 0.5);
    EXPECT_EQ(r.tris[0][5], 0.5);
}

TEST(Isosurface, GenerateReplacesAndPurgeEmpties) {
    const double d[4] = {1, 1, 0, 0};
    TetrahedralVolume vol;
    Load(vol, UnitTetra(d).Bytes());
    Isosurface iso;
    EXPECT_EQ(iso.GetField(), fieldMomentum);
    EXPECT_EQ(iso.GetValue(), 0.0);
    EXPECT_TRUE(iso.GetTriangles().Empty());
    iso.SetField(fieldDensity);
    iso.SetValue(0.5);
    Generate(vol, iso);
    EXPECT_EQ(Triangles(iso).size(), 2u);
    Generate(vol, iso);
    EXPECT_EQ(Triangles(iso).size(), 2u);  // one copy, not two

    // Changing the settings alone leaves the surface as it was.
    iso.SetValue(2.0);
    EXPECT_EQ(Triangles(iso).size(), 2u);
    iso.PurgeIsosurface();
    EXPECT_TRUE(iso.GetTriangles().Empty());
    iso.PurgeIsosurface();
    EXPECT_TRUE(iso.GetTriangles().Empty());
    iso.SetValue(0.5);
    Generate(vol, iso);
    EXPECT_EQ(Triangles(iso).size(), 2u);
}

TEST(Isosurface, ManyTrianglesKeepTheirOrderAndContents) {
    // Enough triangles to make the store grow many times, added directly; the second round
    // refills the memory of the first.
    TriangleStore iso;
    const int count = 300000;
    for (int round = 0; round < 2; ++round) {
        iso.Clear();
        for (int i = 0; i < count; ++i) {
            double p1[3] = {(double)i, 0, 0}, p2[3] = {(double)i + 1, 0, 0},
                   p3[3] = {(double)i, 1, 0};
            iso.Add(p1, p2, p3);
        }
        std::vector<const Triangle*> tris = Triangles(iso);
        ASSERT_EQ(tris.size(), (size_t)count);
        for (int i = 0; i < count; ++i) {
            const Triangle* t = tris[count - 1 - i];
            ASSERT_EQ(t->point[0][0], i);
            ASSERT_EQ(t->point[1][0], i + 1);
            ASSERT_EQ(t->normal[2], 1.0);
        }
    }
}

TEST(Isosurface, NothingFromAnUnloadedVolumeOrAFieldOutsideTheEnumeration) {
    TriangleStore store;
    double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
    store.Add(a, b, c);
    Isosurface iso;
    iso.Swap(store);
    TetrahedralVolume empty;
    EXPECT_EQ(Generate(empty, iso), "");  // no blocks: no lines, and the surface empties
    EXPECT_TRUE(iso.GetTriangles().Empty());

    const double d[4] = {1, 0, 0, 0};
    VolumeBytes f = UnitTetra(d);
    f.vertices[0].Energy = f.vertices[0].MomentumMag = 1;
    for (FieldVar field : {(FieldVar)3, (FieldVar)-1}) {
        Extracted r = Extract(f, field, 0.5);
        EXPECT_TRUE(r.tris.empty());
        EXPECT_EQ(r.console, "Block 1 processed.. 0 triangles added.\n");
    }
    // A NaN value has nothing at or above it.
    EXPECT_TRUE(Extract(f, fieldDensity, kNaN).tris.empty());
}

TEST(Isosurface, MatchesThePlainExtractionOnAMeshWithTiesNaNsAndInfinities) {
    // A jittered 5x5x5 grid of six-tetrahedron cubes in four blocks (one empty), with scalars
    // drawn from a few levels so that many vertices sit exactly at the tested values.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    const int n = 6;
    VolumeBytes f;
    const double levels[] = {0, 0.25, 0.5, 0.75, 1, 0.1, 0.9, 0.5, 0.5};
    for (int z = 0; z < n; ++z) {
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                Vertex v = MakeVertex(x + jitter(rng), y + jitter(rng), z + jitter(rng));
                v.Density = levels[rng() % 9];
                v.Energy = levels[rng() % 9] * 1e5 + jitter(rng);
                v.MomentumMag = levels[rng() % 9];
                f.vertices.push_back(v);
            }
        }
    }
    f.vertices[7].Density = kNaN;
    f.vertices[50].Energy = kInf;
    f.vertices[51].Energy = -kInf;
    f.vertices[100].MomentumMag = kNaN;
    f.vertices[101].MomentumMag = kInf;
    static const int kuhn[6][4] = {{0, 1, 3, 7}, {0, 1, 5, 7}, {0, 2, 3, 7},
                                   {0, 2, 6, 7}, {0, 4, 5, 7}, {0, 4, 6, 7}};
    f.blocks.resize(4, {{0, 0, 0, 0, 0, 0}, {}});
    for (int z = 0; z + 1 < n; ++z) {
        for (int y = 0; y + 1 < n; ++y) {
            for (int x = 0; x + 1 < n; ++x) {
                for (const auto& tet : kuhn) {
                    for (int corner : tet) {
                        int dx = corner & 1, dy = (corner >> 1) & 1, dz = (corner >> 2) & 1;
                        f.blocks[z < 2   ? 0
                                 : z < 4 ? 1
                                         : 3]
                            .indices.push_back(
                                (uint32_t)((z + dz) * n * n + (y + dy) * n + x + dx));
                    }
                }
            }
        }
    }
    const std::string bytes = f.Bytes();
    const std::vector<double> values = {0.5, 0.3, 0.0, 1.0, 0.95, -kInf, kInf, kNaN, 0.5};
    ExpectMatchesReference(bytes, fieldDensity, values);
    ExpectMatchesReference(bytes, fieldMomentum, values);
    ExpectMatchesReference(bytes, fieldEnergy, {5e4, 5e4 + 0.1, 0.0, 1e5, kInf, -kInf, 5e4});
}

TEST(Isosurface, SkippingNeverMissesAScalarThatFloatsCannotHold) {
    // 0.7 rounds down to float and 0.1 rounds up: the recorded extremes must still contain
    // them, or the second extraction would skip a tetrahedron that the value cuts.
    const double top[4] = {0.7, 0, 0, 0};
    ExpectMatchesReference(UnitTetra(top).Bytes(), fieldDensity, {0.5, 0.7});
    const double bottom[4] = {0.1, 0.2, 0.2, 0.2};
    const double above = std::nextafter(0.1, 1.0);
    ExpectMatchesReference(UnitTetra(bottom).Bytes(), fieldDensity, {0.15, above});
    EXPECT_EQ(Extract(UnitTetra(top), fieldDensity, 0.7).tris.size(), 1u);
}

std::string SmallCityBytes() {
    std::string dir = MakeTempDir();
    std::string command = std::string(CITYGEN) + " " + dir + " --small > /dev/null";
    EXPECT_EQ(system(command.c_str()), 0) << command;
    FILE* file = fopen((dir + "/volume.kav").c_str(), "rb");
    EXPECT_NE(file, nullptr);
    if (!file) return "";
    std::string bytes;
    char buffer[1 << 16];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    fclose(file);
    system(("rm -rf " + dir).c_str());
    return bytes;
}

TEST(Isosurface, MatchesThePlainExtractionOnTheSmallCity) {
    const std::string bytes = SmallCityBytes();
    TetrahedralVolume vol;
    Load(vol, bytes);
    ASSERT_FALSE(vol.GetBlocks().empty());
    for (FieldVar field : {fieldDensity, fieldEnergy, fieldMomentum}) {
        double range[2];
        vol.GetRange(field, range);
        std::vector<double> values;
        for (double q : {0.5, 0.05, 0.3, 0.7, 0.999, 0.0, 1.0}) {
            values.push_back(range[0] + q * (range[1] - range[0]));
        }
        ExpectMatchesReference(bytes, field, values);
    }
}

TEST(Isosurface, ProgressCountsBlocksAndACancellationStopsBetweenThem) {
    const double d[4] = {1, 0, 0, 0};
    VolumeBytes f = UnitTetra(d);
    f.blocks.push_back(f.blocks[0]);
    f.blocks.push_back(f.blocks[0]);
    TetrahedralVolume vol;
    Load(vol, f.Bytes());
    TriangleStore store;
    Progress progress;
    CaptureStdout();
    EXPECT_TRUE(ExtractIsosurface(vol, fieldDensity, 0.5, &store, Console(), &progress));
    GetCapturedStdout();
    EXPECT_EQ(progress.total, 3u);
    EXPECT_EQ(progress.done, 3u);
    EXPECT_EQ(store.Size(), 3u);

    // Asked to stop before it began: nothing more is done or printed.
    Progress stopped;
    stopped.cancelled = true;
    std::string printed;
    EXPECT_FALSE(ExtractIsosurface(vol, fieldDensity, 0.5, &store, Console(&printed), &stopped));
    EXPECT_EQ(printed, "");
    EXPECT_EQ(stopped.done, 0u);
    EXPECT_TRUE(store.Empty());
}

namespace {

// A jittered grid in many small blocks, with smooth scalars.
std::string ManyBlockGrid() {
    GridMesh g;
    g.n[0] = 20, g.n[1] = 16, g.n[2] = 18;
    g.blocks[0] = 8, g.blocks[1] = 6, g.blocks[2] = 6;
    g.seed = 5;
    VolumeBytes f = g.Build();
    for (Vertex& v : f.vertices) {
        v.Density = std::sin(0.4 * v.point[0]) + std::cos(0.3 * v.point[1] + 0.2 * v.point[2]);
    }
    return f.Bytes();
}

}  // namespace

TEST(IsosurfaceThreads, EveryThreadCountMatchesThePlainExtraction) {
    const std::string city = SmallCityBytes();
    TetrahedralVolume vol;
    Load(vol, city);
    double range[2];
    vol.GetRange(fieldMomentum, range);
    const std::vector<double> values = {range[0] + 0.3 * (range[1] - range[0]),
                                        range[0] + 0.6 * (range[1] - range[0])};
    const std::string grid = ManyBlockGrid();
    for (int threads : {1, 2, 3, 7}) {
        SCOPED_TRACE(threads);
        ExpectMatchesReference(city, fieldMomentum, values, threads);
        ExpectMatchesReference(grid, fieldDensity, {0.0, 0.7, -1.2}, threads);
    }
}

TEST(IsosurfaceThreads, ACancellationKeepsTheBlocksFinishedBeforeIt) {
    TetrahedralVolume vol;
    Load(vol, ManyBlockGrid());
    const size_t blocks = vol.GetBlocks().size();
    std::vector<std::array<double, 12>> listed;
    std::vector<int> counts;
    RefExtract(vol, fieldDensity, 0.2, &listed, &counts);
    const std::vector<std::array<double, 12>> made(listed.rbegin(), listed.rend());
    bool stoppedMidway = false;
    // The cancel races the extraction, so that on a busy machine a try may end first; one
    // try of many that stops midway is what is needed, and every try must be consistent.
    for (int attempt = 0; attempt < 400 && !stoppedMidway; ++attempt) {
        Progress progress;
        std::atomic<bool> over{false};
        // Asks the extraction to stop once a block is done.
        std::thread watcher([&] {
            while (progress.done < 1 && !over) std::this_thread::yield();
            progress.cancelled = true;
        });
        TriangleStore store;
        std::string printed;
        const bool complete =
            ExtractIsosurface(vol, fieldDensity, 0.2, &store, Console(&printed), &progress, 3);
        over = true;
        watcher.join();
        // The printed lines number the blocks from 1 without a gap; the store holds exactly
        // their triangles, in the order of making.
        const std::vector<int> shown = ConsoleCounts(printed);
        ASSERT_LE(shown.size(), blocks);
        EXPECT_EQ(complete, shown.size() == blocks);
        size_t triangles = 0;
        for (size_t b = 0; b < shown.size(); ++b) {
            EXPECT_EQ(shown[b], counts[b]);
            triangles += counts[b];
        }
        ASSERT_EQ(store.Size(), triangles);
        for (size_t i = 0; i < triangles; ++i) {
            ASSERT_EQ(memcmp(store[i].point, made[i].data(), 9 * sizeof(double)), 0) << i;
        }
        stoppedMidway = !complete && !shown.empty();
    }
    EXPECT_TRUE(stoppedMidway);
}

TEST(TriangleStore, CopiesRefillsAndJoinedPartsKeepTheirOrder) {
    // Enough triangles for several chunks.
    const size_t count = 70000;
    auto fill = [&](TriangleStore& store, double offset) {
        for (size_t i = 0; i < count; ++i) {
            double a[3] = {i + offset, 0, 0}, b[3] = {i + offset, 1, 0}, c[3] = {i + offset, 0, 1};
            store.Add(a, b, c);
        }
    };
    TriangleStore store;
    fill(store, 0);
    const Triangle* first = &store[0];
    const Triangle* last = &store[count - 1];
    TriangleStore copy = store;
    ASSERT_EQ(copy.Size(), count);
    EXPECT_NE(&copy[0], first);
    for (size_t i = 0; i < count; i += 999) {
        EXPECT_EQ(memcmp(&copy[i], &store[i], sizeof(Triangle)), 0) << i;
        EXPECT_EQ(copy[i].normal[0], 1.0);  // (0,1,0) x (0,-1,1)
    }
    // Refilled after Clear, the store uses the same memory again.
    store.Clear();
    EXPECT_TRUE(store.Empty());
    fill(store, 0.5);
    EXPECT_EQ(&store[0], first);
    EXPECT_EQ(&store[count - 1], last);
    EXPECT_EQ(store[count - 1].point[0][0], count - 1 + 0.5);

    // Two writers fill parts in turn; joined in the order asked, whatever chunks they used.
    TriangleStore joined;
    std::mutex lock;
    TriangleStore::Writer w0(&joined, &lock), w1(&joined, &lock);
    std::vector<std::vector<TriangleRun>> parts(6);
    for (int p = 0; p < 6; ++p) {
        TriangleStore::Writer& w = p % 2 ? w1 : w0;
        for (size_t i = 0; i < 15000; ++i) {
            double a[3] = {(double)p, (double)i, 0}, b[3] = {(double)p, i + 1.0, 0},
                   c[3] = {p + 1.0, (double)i, 0};
            w.Add(a, b, c);
        }
        w.EndPart(&parts[p]);
    }
    for (int p : {5, 0, 3, 1, 4, 2}) joined.Append(parts[p]);
    ASSERT_EQ(joined.Size(), 6u * 15000u);
    const int order[6] = {5, 0, 3, 1, 4, 2};
    for (size_t i = 0; i < joined.Size(); ++i) {
        ASSERT_EQ(joined[i].point[0][0], order[i / 15000]) << i;
        ASSERT_EQ(joined[i].point[0][1], (double)(i % 15000)) << i;
    }
}
