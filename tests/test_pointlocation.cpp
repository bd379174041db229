// Point location: block boxes, the inside test and its weights, the two caches, degenerate
// tetrahedra, and the index giving exactly the answers of a scan of the whole block.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"
#include "tetmesh.h"
#include "volume/cellindex.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

namespace {

// A volume and the one searcher that a test asks, whose caches carry from query to query.
struct Searched {
    TetrahedralVolume volume;
    PointLocator locator{volume};

    const Block* BlockAt(size_t i) const { return &volume.GetBlocks()[i]; }
};

const char kDetZero[] = "Aborting because Det = 0\n";

// The right tetrahedron at the origin, whose weights are the point's coordinates: vertices
// 0..3 are (0,0,0), (1,0,0), (0,1,0), (0,0,1). Vertex momentum is (10 k, 0, -k) for vertex k.
VolumeBytes Corner(double boxLo = -1, double boxHi = 2) {
    VolumeBytes f;
    f.vertices = {MakeVertex(0, 0, 0, 0, 0, 0, 0, 0), MakeVertex(1, 0, 0, 0, 0, 10, 0, -1),
                  MakeVertex(0, 1, 0, 0, 0, 20, 0, -2), MakeVertex(0, 0, 1, 0, 0, 30, 0, -3)};
    f.blocks.push_back({{boxLo, boxHi, boxLo, boxHi, boxLo, boxHi}, {0, 1, 2, 3}});
    return f;
}

struct Located {
    const Tetra* tet;
    double w[4];
    std::string out;
};

Located Locate(Searched& vol, double x, double y, double z) {
    double p[3] = {x, y, z};
    Located r{};
    StdoutToFile capture;
    r.tet = vol.locator.FindCell(p, r.w);
    r.out = capture.Text();
    return r;
}

std::string Repeat(const char* s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Every test that compares outcomes runs once with the index and once with the scan.
class BothSearches : public testing::TestWithParam<bool> {
protected:
    void Load(Searched& vol, const VolumeBytes& f) {
        LoadBytes(vol.volume, f.Bytes());
        vol.locator.SetReferenceScan(GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(PointLocation, BothSearches, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Scan" : "Index";
                         });

TEST_P(BothSearches, BlockBoxIsOpenBelowClosedAbove) {
    Searched vol;
    Load(vol, Corner(0, 1));
    PointLocator& probe = vol.locator;
    EXPECT_EQ(Locate(vol, 0, 0.25, 0.25).tet, nullptr);  // on min x: outside the box
    EXPECT_EQ(probe.GetGuess(), nullptr);
    EXPECT_EQ(Locate(vol, 0.25, 0, 0.25).tet, nullptr);
    EXPECT_EQ(Locate(vol, 0.25, 0.25, 0).tet, nullptr);
    Located top = Locate(vol, 0.5, 0.5, 1e-9);
    ASSERT_NE(top.tet, nullptr);
    // A vertex of the tetrahedron on the block's max corner planes is inside.
    Located vertex = Locate(vol, 1, 1e-9, 1e-9);
    ASSERT_NE(vertex.tet, nullptr);
    EXPECT_NEAR(vertex.w[1], 1.0, 1e-8);
    EXPECT_EQ(Locate(vol, std::nan(""), 0.5, 0.5).tet, nullptr);
    EXPECT_EQ(Locate(vol, 1, INFINITY, 0.5).tet, nullptr);
}

TEST_P(BothSearches, WeightsAtVerticesAndCentroid) {
    VolumeBytes f = Corner();
    // A skewed second tetrahedron whose centroid is not a round number.
    f.vertices.push_back(MakeVertex(5, 5, 5));
    f.vertices.push_back(MakeVertex(7, 5.5, 5));
    f.vertices.push_back(MakeVertex(5.25, 8, 5.5));
    f.vertices.push_back(MakeVertex(5, 6, 9));
    f.blocks.push_back({{4, 10, 4, 10, 4, 10}, {4, 5, 6, 7}});
    Searched vol;
    Load(vol, f);

    const double v0[4] = {1, 0, 0, 0}, v1[4] = {0, 1, 0, 0}, v3[4] = {0, 0, 0, 1};
    const double vertices[3][3] = {{5, 5, 5}, {7, 5.5, 5}, {5, 6, 9}};
    const double* expected[3] = {v0, v1, v3};
    for (int i = 0; i < 3; ++i) {
        Located r = Locate(vol, vertices[i][0], vertices[i][1], vertices[i][2]);
        ASSERT_NE(r.tet, nullptr);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(r.w[k], expected[i][k]) << i << " " << k;
    }
    Located c = Locate(vol, (5 + 7 + 5.25 + 5) / 4, (5 + 5.5 + 8 + 6) / 4, (5 + 5 + 5.5 + 9) / 4);
    ASSERT_NE(c.tet, nullptr);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(c.w[k], 0.25, 1e-15);
}

TEST_P(BothSearches, ToleranceBoundsAreInclusiveAndTheSearchGoesOn) {
    VolumeBytes f = Corner();
    // The mirror image across x = 0 comes second in the array.
    f.vertices.push_back(MakeVertex(-1, 0, 0));
    f.blocks[0].indices.insert(f.blocks[0].indices.end(), {0, 4, 2, 3});
    Searched vol;
    Load(vol, f);
    const Block* block = vol.BlockAt(0);

    Located low = Locate(vol, -0.001, 0.25, 0.25);  // weight 1 is exactly -0.001
    ASSERT_EQ(low.tet, &block->tetra[0]);
    EXPECT_EQ(low.w[1], -0.001);
    Located beyond = Locate(vol, -0.0011, 0.25, 0.25);  // -0.0011 fails: the mirror holds it
    EXPECT_EQ(beyond.tet, &block->tetra[1]);
    Located high = Locate(vol, 1.001, 0, 0);  // weight 1 is 1.001, weight 0 about -0.001
    ASSERT_EQ(high.tet, &block->tetra[0]);
    EXPECT_EQ(high.w[1], 1.001);
    EXPECT_EQ(Locate(vol, 1.0011, 0, 0).tet, nullptr);
    // Within the tolerance but outside the tetrahedron: the momentum is extrapolated.
    Vertex v = MakeVertex(0, 0, 0);
    double p[3] = {1.0005, 0, 0};
    ASSERT_TRUE(vol.locator.InterpolatePoint(p, &v));
    EXPECT_NEAR(v.Momentum[0], 10.005, 1e-12);
}

TEST_P(BothSearches, PointsAtTheToleranceCornersAreFound) {
    // Vertices 1 and 2 share x = 1, so two weights of -0.000999 on vertices 0 and 3 put the
    // point almost 0.002 of the tetrahedron's width beyond its box in x.
    VolumeBytes f;
    f.vertices = {MakeVertex(0, 0, 0), MakeVertex(1, 0, 0), MakeVertex(1, 1, 0),
                  MakeVertex(0, 0, 1)};
    f.blocks.push_back({{-1, 2, -1, 2, -1, 2}, {0, 1, 2, 3}});
    Searched vol;
    Load(vol, f);
    Located r = Locate(vol, 1.001998, 0.500999, -0.000999);
    ASSERT_NE(r.tet, nullptr);
    EXPECT_NEAR(r.w[0], -0.000999, 1e-12);
    EXPECT_NEAR(r.w[3], -0.000999, 1e-12);
    EXPECT_EQ(Locate(vol, 1.002002, 0.501001, -0.001001).tet, nullptr);
}

TEST_P(BothSearches, InterpolationWritesOnlyPointAndMomentum) {
    Searched vol;
    Load(vol, Corner());
    Vertex v = MakeVertex(7, 7, 7, 1.5, 2.5, 9, 9, 9);
    v.MomentumMag = 3.5;
    double p[3] = {0.25, 0.5, 0.125};
    ASSERT_TRUE(vol.locator.InterpolatePoint(p, &v));
    EXPECT_EQ(v.point[0], 0.25);
    EXPECT_EQ(v.point[1], 0.5);
    EXPECT_EQ(v.point[2], 0.125);
    // Momentum is linear on the tetrahedron: (10 x + 20 y + 30 z, 0, -(x + 2 y + 3 z)).
    EXPECT_DOUBLE_EQ(v.Momentum[0], 2.5 + 10 + 3.75);
    EXPECT_DOUBLE_EQ(v.Momentum[1], 0);
    EXPECT_DOUBLE_EQ(v.Momentum[2], -(0.25 + 1 + 0.375));
    EXPECT_EQ(v.Density, 1.5);
    EXPECT_EQ(v.Energy, 2.5);
    EXPECT_EQ(v.MomentumMag, 3.5);

    Vertex before = v;
    double outside[3] = {0.75, 0.75, 0.75};
    EXPECT_FALSE(vol.locator.InterpolatePoint(outside, &v));
    EXPECT_EQ(memcmp(&before, &v, sizeof v), 0);
}

TEST_P(BothSearches, CachesFollowTheirStateTable) {
    // Two blocks whose boxes overlap on x in (0.5, 1]; block A (first in the file, so last in
    // the list) holds the corner tetrahedron, block B a tetrahedron at x from 0.5 to 2.
    VolumeBytes f = Corner(-1, 1);
    f.blocks[0].box[1] = 1;
    uint32_t b0 = AddVertex(f, 0.5, 0.5, 0.5), b1 = AddVertex(f, 2, 0.5, 0.5),
             b2 = AddVertex(f, 0.5, 1, 0.5), b3 = AddVertex(f, 0.5, 0.5, 1);
    f.blocks.push_back({{0.5, 3, -1, 1, -1, 1}, {b0, b1, b2, b3}});
    Searched vol;
    Load(vol, f);
    PointLocator& probe = vol.locator;
    const Block* blockB = vol.BlockAt(0);
    const Block* blockA = vol.BlockAt(1);

    // Nothing cached: the walk takes the first box in list order (B) for x = 0.75.
    Located r = Locate(vol, 0.75, 0.6, 0.6);
    EXPECT_EQ(probe.GetGuess(), blockB);
    ASSERT_EQ(r.tet, &blockB->tetra[0]);
    EXPECT_EQ(probe.GetCellGuess(), r.tet);
    // Same point again: served by the cached tetrahedron.
    EXPECT_EQ(Locate(vol, 0.75, 0.6, 0.6).tet, r.tet);

    // A point inside B's box but in none of its tetrahedra: B is searched first, then A,
    // whose box holds it too and whose corner tetrahedron has it. Both caches move to A.
    r = Locate(vol, 0.6, 0.3, 0.05);
    EXPECT_EQ(r.tet, &blockA->tetra[0]);
    EXPECT_EQ(probe.GetGuess(), blockA);
    EXPECT_EQ(probe.GetCellGuess(), r.tet);
    // In both boxes and in neither block's tetrahedra: the guess A is searched, then B; the
    // caches end as after a miss in the guess alone, which stays.
    EXPECT_EQ(Locate(vol, 0.75, 0.9, 0.9).tet, nullptr);
    EXPECT_EQ(probe.GetGuess(), blockA);
    EXPECT_EQ(probe.GetCellGuess(), nullptr);
    // Only in B's box and not in its tetrahedron: B becomes the guess, with no cell.
    EXPECT_EQ(Locate(vol, 2.5, 0.6, 0.6).tet, nullptr);
    EXPECT_EQ(probe.GetGuess(), blockB);
    EXPECT_EQ(probe.GetCellGuess(), nullptr);

    // Outside B: A is found, cellGuess starts over from null and ends at A's tetrahedron.
    double p[3] = {0.25, 0.25, 0.25};
    EXPECT_EQ(probe.FindBlock(p), blockA);
    EXPECT_EQ(probe.GetCellGuess(), nullptr);
    r = Locate(vol, 0.25, 0.25, 0.25);
    EXPECT_EQ(r.tet, &blockA->tetra[0]);
    EXPECT_EQ(probe.GetCellGuess(), r.tet);

    // Back in the overlap: A is the guess now and keeps the point; cellGuess is kept too.
    EXPECT_EQ(probe.FindBlock(p), blockA);
    double overlap[3] = {0.6, 0.3, 0.05};
    EXPECT_EQ(probe.FindBlock(overlap), blockA);
    EXPECT_EQ(probe.GetCellGuess(), &blockA->tetra[0]);
    EXPECT_EQ(Locate(vol, 0.6, 0.3, 0.05).tet, &blockA->tetra[0]);

    // Outside every box: both caches cleared.
    EXPECT_EQ(Locate(vol, 5, 0, 0).tet, nullptr);
    EXPECT_EQ(probe.GetGuess(), nullptr);
    EXPECT_EQ(probe.GetCellGuess(), nullptr);
}

TEST_P(BothSearches, DegenerateTetrahedraReportEveryScanThatMeetsThem) {
    VolumeBytes f = Corner();
    uint32_t flat = AddVertex(f, 0.5, 0.5, 0);  // in the plane z = 0 with vertices 0, 1, 2
    f.blocks[0].indices = {0, 1, 2, flat, 0, 1, 2, 3, 1, 1, 2, 3};
    uint32_t far = AddVertex(f, 1, 1, 1);
    f.blocks[0].indices.insert(f.blocks[0].indices.end(), {1, 2, 3, far});
    Searched vol;
    Load(vol, f);
    const Block* block = vol.BlockAt(0);

    // The answer is tetrahedron 1: only the degenerate one before it is met.
    Located r = Locate(vol, 0.1, 0.1, 0.1);
    EXPECT_EQ(r.tet, &block->tetra[1]);
    EXPECT_EQ(r.out, kDetZero);
    // Served by cellGuess: no scan, no notice.
    EXPECT_EQ(Locate(vol, 0.1, 0.1, 0.1).out, "");
    // cellGuess rejects the next point and the scan finds tetrahedron 3: two notices.
    r = Locate(vol, 0.6, 0.6, 0.6);
    EXPECT_EQ(r.tet, &block->tetra[3]);
    EXPECT_EQ(r.out, Repeat(kDetZero, 2));
    // Found nowhere: the whole block is scanned.
    r = Locate(vol, 1.5, 1.5, 1.5);
    EXPECT_EQ(r.tet, nullptr);
    EXPECT_EQ(r.out, Repeat(kDetZero, 2));
    // A degenerate tetrahedron is never the answer, even for its own points.
    r = Locate(vol, 0.5, 0.25, 0);
    EXPECT_EQ(r.tet, &block->tetra[1]);
}

TEST_P(BothSearches, BoxesReachingInfinityInsideOutOrNaN) {
    // In the file: the corner block, then one reaching to infinity everywhere holding the
    // same tetrahedron, then an inside-out box and a NaN box. The list runs the other way.
    VolumeBytes f = Corner();
    f.blocks.push_back(
        {{-INFINITY, INFINITY, -INFINITY, INFINITY, -INFINITY, INFINITY}, {0, 1, 2, 3}});
    f.blocks.push_back({{2, -2, -2, 2, -2, 2}, {0, 1, 2, 3}});
    f.blocks.push_back({{-2, 2, -2, std::nan(""), -2, 2}, {0, 1, 2, 3}});
    Searched vol;
    Load(vol, f);
    PointLocator& probe = vol.locator;
    const Block* endless = vol.BlockAt(2);
    double p[3] = {0.1, 0.1, 0.1};
    EXPECT_EQ(probe.FindBlock(p), endless);  // the first box in list order that holds it
    double far[3] = {-1e300, 5, 1e20};
    EXPECT_EQ(probe.FindBlock(far), endless);
    EXPECT_EQ(Locate(vol, 0.1, 0.1, 0.1).tet, &endless->tetra[0]);
    double nan[3] = {std::nan(""), 0, 0};
    EXPECT_EQ(probe.FindBlock(nan), nullptr);
}

TEST(PointLocation, AFlatBlockGetsAnIndexSizedByItsTetrahedra) {
    // 400 small tetrahedra spread over a 1000 x 1000 slab one thousandth thick: a grid of
    // cubic cells sized for their count would need hundreds of thousands of empty cells.
    VolumeBytes f;
    f.minimum = MakeVertex(0, 0, 0);
    f.maximum = MakeVertex(1000, 1000, 0.001);
    VolumeBytes::BlockRec block{{0, 1000, 0, 1000, 0, 0.001}, {}};
    for (uint32_t i = 0; i < 400; ++i) {
        double x = 50.0 * (i % 20), y = 50.0 * (i / 20);
        uint32_t first = (uint32_t)f.vertices.size();
        f.vertices.push_back(MakeVertex(x, y, 0));
        f.vertices.push_back(MakeVertex(x + 1, y, 0));
        f.vertices.push_back(MakeVertex(x, y + 1, 0));
        f.vertices.push_back(MakeVertex(x, y, 0.001));
        for (uint32_t k = 0; k < 4; ++k) block.indices.push_back(first + k);
    }
    f.blocks.push_back(block);
    Searched vol;
    LoadBytes(vol.volume, f.Bytes());
    EXPECT_NE(Locate(vol, 950.2, 950.2, 0.0001).tet, nullptr);
    EXPECT_EQ(Locate(vol, 975, 975, 0.0001).tet, nullptr);
    EXPECT_LT(vol.volume.GetCellIndex(0).MemoryBytes(), 400u * 200u);
}

TEST(PointLocation, EmptyAndUnloadedVolumesFindNothing) {
    Searched never;
    EXPECT_EQ(Locate(never, 0.1, 0.1, 0.1).tet, nullptr);
    // Loaded after that first search, the volume finds its blocks.
    LoadBytes(never.volume, Corner().Bytes());
    EXPECT_NE(Locate(never, 0.1, 0.1, 0.1).tet, nullptr);
    VolumeBytes f = Corner();
    f.blocks[0].indices.clear();  // a block without tetrahedra
    Searched empty;
    LoadBytes(empty.volume, f.Bytes());
    Located r = Locate(empty, 0.1, 0.1, 0.1);
    EXPECT_EQ(r.tet, nullptr);
    EXPECT_EQ(r.out, "");
}

// The point-location rule written out plainly, with caches of its own: the guess block if
// its box holds the point, else the first box in list order; the cached tetrahedron, then
// the chosen block's tetrahedra in array order; then every other block whose box holds the
// point, in list order, each scanned whole. Degenerate tetrahedra print their notice through
// the volume's own inside test.
class PlainRule {
public:
    explicit PlainRule(const TetrahedralVolume& v) : vol(v), probe(v) {}

    const Tetra* Find(double* p, double* w) {
        const Block* chosen = guess && InBox(guess, p) ? guess : nullptr;
        if (!chosen) {
            cellGuess = nullptr;
            for (const Block& b : vol.GetBlocks()) {
                if (InBox(&b, p)) {
                    chosen = &b;
                    break;
                }
            }
            guess = chosen;
            if (!chosen) return nullptr;
        }
        if (cellGuess && probe.EvaluateCell(cellGuess, p, w)) return cellGuess;
        cellGuess = Scan(chosen, p, w);
        for (const Block& b : vol.GetBlocks()) {
            if (cellGuess) break;
            if (&b == chosen || !InBox(&b, p)) continue;
            cellGuess = Scan(&b, p, w);
            if (cellGuess) guess = &b;
        }
        return cellGuess;
    }

    const Block* guess = nullptr;
    const Tetra* cellGuess = nullptr;

private:
    static bool InBox(const Block* b, const double* p) {
        for (int a = 0; a < 3; ++a) {
            if (!(b->min[a] < p[a] && p[a] <= b->max[a])) return false;
        }
        return true;
    }
    const Tetra* Scan(const Block* b, double* p, double* w) {
        for (uint32_t i = 0; i < b->num_Tetra; ++i) {
            if (probe.EvaluateCell(&b->tetra[i], p, w)) return &b->tetra[i];
        }
        return nullptr;
    }

    const TetrahedralVolume& vol;
    PointLocator probe;  // used only for its inside test, which prints the notices
};

// Three loads of the same file asked the same questions: one searching its blocks through
// their index, one in the volume's reference scan, one by the plain rule above. Every
// answer, weight, cache and notice must agree.
class Twins {
public:
    explicit Twins(const std::string& bytes) : rule(plain) {
        LoadBytes(fast.volume, bytes);
        LoadBytes(slow.volume, bytes);
        LoadBytes(plain, bytes);
        slow.locator.SetReferenceScan(true);
        for (const TetrahedralVolume* vol : {&fast.volume, &slow.volume, &plain}) {
            int n = 0;
            for (const Block& b : vol->GetBlocks()) ordinal[&b] = n++;
        }
    }

    const TetrahedralVolume& Volume() const { return fast.volume; }

    // Locates `p` in all three; on agreement returns "" and, when found, the momentum in `m`.
    // Every other lookup of the index is prefetched first, as path lines do, so that it takes
    // the prefetched box tests instead of its own.
    std::string Query(const double* p, double* m = nullptr, bool* found = nullptr) {
        ++queries;
        for (int stage = 0; queries % 2 && stage < PointLocator::kPrefetchStages; ++stage) {
            fast.locator.Prefetch(stage, p);
        }
        Outcome a = Ask(fast, p), b = Ask(slow, p), c = AskRule(p);
        std::string why = Compare(a, b, "index/scan");
        if (why.empty()) why = Compare(a, c, "index/rule");
        if (!why.empty()) {
            char at[100];
            snprintf(at, sizeof at,
                     "query %llu at (%.17g, %.17g, %.17g):", (unsigned long long)queries, p[0],
                     p[1], p[2]);
            return at + why;
        }
        hits += a.tetra >= 0;
        notices += a.printed;
        if (found) *found = a.tetra >= 0;
        if (m && a.tetra >= 0) {
            Vertex v;
            double q[3] = {p[0], p[1], p[2]};
            fast.locator.InterpolatePoint(q, &v);  // served by the cached tetrahedron
            memcpy(m, v.Momentum, sizeof v.Momentum);
        }
        return "";
    }

    uint64_t queries = 0, hits = 0, notices = 0;

private:
    struct Outcome {
        int block = -1, guess = -1;
        long tetra = -1, cellGuess = -1, printed = 0;
        double w[4];
    };

    static std::string Compare(const Outcome& a, const Outcome& b, const char* pair) {
        std::ostringstream why;
        if (a.block != b.block || a.tetra != b.tetra)
            why << " tetra " << a.block << ":" << a.tetra << "/" << b.block << ":" << b.tetra;
        if (a.guess != b.guess || a.cellGuess != b.cellGuess) why << " caches differ";
        if (a.printed != b.printed) why << " printed " << a.printed << "/" << b.printed;
        if (a.tetra >= 0 && memcmp(a.w, b.w, sizeof a.w) != 0) why << " weights differ";
        return why.str().empty() ? "" : " " + std::string(pair) + why.str();
    }

    Outcome Record(const Tetra* t, const Block* g, const Tetra* cell, long printed) {
        Outcome o;
        o.printed = printed;
        if (g) o.guess = ordinal[g];
        if (cell) o.cellGuess = cell - g->tetra.get();
        if (t) o.block = o.guess, o.tetra = t - g->tetra.get();
        return o;
    }

    Outcome Ask(Searched& vol, const double* point) {
        PointLocator& probe = vol.locator;
        double p[3] = {point[0], point[1], point[2]}, w[4];
        long before = ftell(stdout);
        const Tetra* t = probe.FindCell(p, w);
        Outcome o = Record(t, probe.GetGuess(), probe.GetCellGuess(), ftell(stdout) - before);
        memcpy(o.w, w, sizeof w);
        return o;
    }

    Outcome AskRule(const double* point) {
        double p[3] = {point[0], point[1], point[2]}, w[4];
        long before = ftell(stdout);
        const Tetra* t = rule.Find(p, w);
        Outcome o = Record(t, rule.guess, rule.cellGuess, ftell(stdout) - before);
        memcpy(o.w, w, sizeof w);
        return o;
    }

    Searched fast, slow;
    TetrahedralVolume plain;
    PlainRule rule;
    std::map<const Block*, int> ordinal;
};

// What the query generators draw from: the blocks, the bounds of all vertices in them, and
// the tetrahedra whose volume is tiny for their size but not zero.
struct MeshView {
    std::vector<const Block*> blocks;
    double lo[3] = {INFINITY, INFINITY, INFINITY};
    double hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    std::vector<const Tetra*> nearlyFlat;
};

MeshView View(const TetrahedralVolume& vol) {
    MeshView view;
    for (const Block& block : vol.GetBlocks()) {
        const Block* b = &block;
        view.blocks.push_back(b);
        for (uint32_t i = 0; i < b->num_Tetra; ++i) {
            const Tetra& t = b->tetra[i];
            double c[3][3], edge = 0;
            for (int k = 0; k < 4; ++k) {
                for (int a = 0; a < 3; ++a) {
                    double x = t.v[k]->point[a];
                    if (!std::isfinite(x) || std::fabs(x) > 1e30) continue;
                    view.lo[a] = std::min(view.lo[a], x);
                    view.hi[a] = std::max(view.hi[a], x);
                    if (k > 0) {
                        c[k - 1][a] = x - t.v[0]->point[a];
                        edge = std::max(edge, std::fabs(c[k - 1][a]));
                    }
                }
            }
            double det = PointLocator::determinant(c[0], c[1], c[2]);
            if (det != 0 && std::fabs(det) < 1e-3 * edge * edge * edge)
                view.nearlyFlat.push_back(&t);
        }
    }
    return view;
}

// Random points: uniform over the mesh's bounds grown by a tenth, and points on the places
// where answers are ambiguous or boundaries are exact: vertices, edge midpoints, tetrahedron
// faces, block box faces; also points in the plane of a face but far from the tetrahedron,
// where a nearly flat one's rounded weights are noise. Returns the first disagreement, or "".
std::string RandomQueries(Twins& twins, TestRandom& rnd, int count) {
    MeshView view = View(twins.Volume());
    for (int q = 0; q < count; ++q) {
        double p[3];
        const Block* block = view.blocks[rnd.Below(view.blocks.size())];
        const Tetra* t = block->num_Tetra ? &block->tetra[rnd.Below(block->num_Tetra)] : nullptr;
        int kind = t ? rnd.Below(7) : 0;
        if (kind == 4 && !view.nearlyFlat.empty() && rnd.Below(2)) {
            t = view.nearlyFlat[rnd.Below(view.nearlyFlat.size())];
        }
        double s = rnd.Uniform(-3, 4), r = rnd.Uniform(-3, 4);
        // On the inside test's tolerance shell: one weight at its lower bound, give or take a
        // rounding, the others spread over the rest.
        double shell[4] = {rnd.Uniform(0, 1), rnd.Uniform(0, 1), rnd.Uniform(0, 1), 0};
        shell[q % 4] = -0.001 * (1 + 1e-12 * rnd.Uniform(-1, 1));
        double rest = 1 - shell[q % 4], spread = 0;
        for (int k = 0; k < 4; ++k) spread += k == q % 4 ? 0 : shell[k];
        for (int k = 0; k < 4; ++k) shell[k] = k == q % 4 ? shell[k] : shell[k] * rest / spread;
        for (int a = 0; a < 3; ++a) {
            double grow = 0.1 * (view.hi[a] - view.lo[a]);
            const double* v[4];
            for (int k = 0; t && k < 4; ++k) v[k] = t->v[k]->point;
            switch (kind) {
                case 0:
                    p[a] = rnd.Uniform(view.lo[a] - grow, view.hi[a] + grow);
                    break;
                case 1:
                    p[a] = v[q % 4][a];
                    break;
                case 2:
                    p[a] = (v[0][a] + v[1 + q % 3][a]) / 2;
                    break;
                case 3:
                    p[a] = (v[1][a] + v[2][a] + v[3][a]) / 3;
                    break;
                case 4:
                    p[a] = v[0][a] + s * (v[1][a] - v[0][a]) + r * (v[2][a] - v[0][a]);
                    break;
                case 5:
                    p[a] = 0;
                    for (int k = 0; k < 4; ++k) p[a] += shell[k] * v[k][a];
                    break;
                default:
                    p[a] = (q + a) % 3 ? rnd.Uniform(block->min[a], block->max[a])
                                       : (q & 1 ? block->max[a] : block->min[a]);
            }
        }
        std::string why = twins.Query(p);
        if (!why.empty()) return why;
    }
    return "";
}

// Coherent points: walks of random steps up to `step` per axis, and path lines traced by
// the midpoint rule through the momentum that both searches agree on.
std::string CoherentQueries(Twins& twins, TestRandom& rnd, int count, double step) {
    MeshView view = View(twins.Volume());
    while (count > 0) {
        double p[3];
        for (int a = 0; a < 3; ++a) p[a] = rnd.Uniform(view.lo[a], view.hi[a]);
        bool line = rnd.Below(2);
        for (int s = 0; s < 400 && count > 0; ++s) {
            double m[3], mid[3];
            bool found = false;
            std::string why = twins.Query(p, m, &found);
            if (!why.empty()) return why;
            if (--count == 0) break;
            if (!line) {
                for (int a = 0; a < 3; ++a) p[a] += rnd.Uniform(-step, step);
                continue;
            }
            if (!found) break;
            for (int a = 0; a < 3; ++a) mid[a] = p[a] + 0.5 * m[a];
            why = twins.Query(mid, m, &found);
            if (!why.empty()) return why;
            --count;
            if (!found) break;
            for (int a = 0; a < 3; ++a) p[a] += m[a];
        }
    }
    return "";
}

// Runs both kinds of queries on a pair of volumes and checks that they agree and that the
// mix found points and also missed some.
void ExpectSameAnswers(Twins& twins, int random, int coherent, double step, uint64_t seed) {
    TestRandom rnd(seed);
    std::string differences[2];
    {
        StdoutToFile quiet;
        differences[0] = RandomQueries(twins, rnd, random);
        differences[1] = CoherentQueries(twins, rnd, coherent, step);
    }
    EXPECT_EQ(differences[0], "");
    EXPECT_EQ(differences[1], "");
    EXPECT_EQ(twins.queries, (uint64_t)(random + coherent));
    EXPECT_GT(twins.hits, twins.queries / 5);
    EXPECT_LT(twins.hits, twins.queries);
    printf("%llu queries, %llu found, %llu bytes of notices\n", (unsigned long long)twins.queries,
           (unsigned long long)twins.hits, (unsigned long long)twins.notices);
}

// A swirl about the vertical axis through (cx, cz), rising slowly.
void Swirl(const double* p, double* m, double cx, double cz, double rate) {
    m[0] = -(p[2] - cz) * rate;
    m[1] = 0.05;
    m[2] = (p[0] - cx) * rate;
}

// A grid mesh in overlapping blocks, with degenerate, sliver, near-flat and broken
// tetrahedra spread over the blocks' arrays.
VolumeBytes CraftedMesh() {
    GridMesh g;
    g.n[0] = 14, g.n[1] = 10, g.n[2] = 12;
    g.origin[0] = -7, g.origin[1] = 0.5, g.origin[2] = -6;
    g.jitter = 0.3;
    g.blocks[0] = 3, g.blocks[1] = 2, g.blocks[2] = 3;
    g.overlap = 0.7;
    g.seed = 7;
    g.momentum = [](const double* p, double* m) { Swirl(p, m, 0.3, -0.2, 0.15); };
    VolumeBytes f = g.Build();
    TestRandom rnd(11);
    for (size_t b = 0; b < f.blocks.size(); ++b) {
        auto& rec = f.blocks[b];
        auto anywhere = [&] { return (size_t)rnd.Below(rec.indices.size() / 4 + 1); };
        double c[3];
        for (int a = 0; a < 3; ++a) c[a] = rnd.Uniform(rec.box[2 * a] + 1, rec.box[2 * a + 1] - 1);
        // Exactly flat: four points in a plane z = const, and a repeated vertex.
        uint32_t q0 = AddVertex(f, c[0], c[1], c[2]), q1 = AddVertex(f, c[0] + 1, c[1], c[2]),
                 q2 = AddVertex(f, c[0], c[1] + 1, c[2]),
                 q3 = AddVertex(f, c[0] + .7, c[1] + .6, c[2]);
        InsertTetra(f, b, anywhere(), {q0, q1, q2, q3});
        InsertTetra(f, b, anywhere(),
                    {rec.indices[0], rec.indices[1], rec.indices[1], rec.indices[2]});
        InsertTetra(f, b, 0, {q3, q2, q1, q0});
        // A sliver lifted 1e-7 off that plane, and four points on a tilted plane whose
        // determinant rounds to a tiny value instead of zero.
        uint32_t s = AddVertex(f, c[0] + .5, c[1] + .5, c[2] + 1e-7);
        InsertTetra(f, b, anywhere(), {q0, q1, q2, s});
        uint32_t t0 = AddVertex(f, c[0] + 0.1, c[1] + 0.7, c[2] + 0.2),
                 t1 = AddVertex(f, c[0] + 0.3, c[1] + 0.1, c[2] + 0.6),
                 t2 = AddVertex(f, c[0] + 0.7, c[1] + 0.2, c[2] + 0.1),
                 t3 = AddVertex(f, c[0] + 0.3 + 0.7 - 0.1, c[1] + 0.1 + 0.2 - 0.7,
                                c[2] + 0.6 + 0.1 - 0.2);
        InsertTetra(f, b, anywhere(), {t0, t1, t2, t3});
        // A tetrahedron from the neighbouring block, so that two blocks hold it.
        const auto& other = f.blocks[(b + 1) % f.blocks.size()].indices;
        InsertTetra(f, b, anywhere(), {other[4], other[5], other[6], other[7]});
    }
    // A vertex with a NaN coordinate and one far away.
    uint32_t nan = AddVertex(f, std::nan(""), 1, 1), far = AddVertex(f, 1e40, 1, 1);
    const auto& first = f.blocks[0].indices;
    InsertTetra(f, 0, 3, {first[0], first[1], first[2], nan});
    InsertTetra(f, 0, 5, {first[0], first[1], first[2], far});
    // Blocks whose boxes the block walk cannot file: one reaching to infinity, but only on
    // the far side of x = -100, one inside out, one with a NaN corner.
    VolumeBytes::BlockRec endless{{-INFINITY, -100, -INFINITY, INFINITY, -INFINITY, INFINITY},
                                  {first.begin(), first.begin() + 80}};
    VolumeBytes::BlockRec inverted{{5, -5, -5, 5, -5, 5}, {first.begin(), first.begin() + 8}};
    VolumeBytes::BlockRec unknown{{-5, 5, std::nan(""), 5, -5, 5},
                                  {first.begin(), first.begin() + 8}};
    f.blocks.insert(f.blocks.begin(), {endless, inverted, unknown});
    return f;
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char chunk[1 << 16];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    fclose(f);
    return bytes;
}

TEST(PointLocationEquality, CraftedMeshWithOverlapsAndDegenerateTetrahedra) {
    Twins twins(CraftedMesh().Bytes());
    ExpectSameAnswers(twins, 400000, 400000, 0.2, 3);
    EXPECT_GT(twins.notices, 0u);
}

TEST(PointLocationEquality, BlockTooLargeForShortTetrahedronNumbers) {
    GridMesh g;  // 69120 tetrahedra in one block
    g.n[0] = 24, g.n[1] = 20, g.n[2] = 24;
    g.blocks[0] = g.blocks[1] = g.blocks[2] = 1;
    g.momentum = [](const double* p, double* m) { Swirl(p, m, 12, 12, 0.1); };
    Twins twins(g.Build().Bytes());
    ASSERT_GT(twins.Volume().GetBlocks()[0].num_Tetra, 65536u);
    ExpectSameAnswers(twins, 1000, 6000, 0.3, 5);
}

TEST(PointLocationEquality, DemoCity) {
    std::string dir = MakeTempDir();
    ASSERT_EQ(std::system((std::string(CITYGEN) + " " + dir + " --small > /dev/null").c_str()), 0);
    Twins twins(ReadAll(dir + "/volume.kav"));
    ASSERT_FALSE(twins.Volume().GetBlocks().empty());
    ExpectSameAnswers(twins, 5000, 250000, 10, 9);
}

// What one searcher answered to a sequence of points: per query the block and tetrahedron
// numbers, the weights and the caches, and everything it printed.
struct Answers {
    std::vector<long> numbers;
    std::vector<double> weights;
    std::string printed;
};

Answers AnswerAll(const TetrahedralVolume& vol, const std::vector<std::array<double, 3>>& points) {
    Answers a;
    PointLocator locator(vol, Console(&a.printed));
    const Block* first = vol.GetBlocks().data();
    auto number = [&](const Block* b, const Tetra* t) {
        a.numbers.push_back(b ? b - first : -1);
        a.numbers.push_back(t ? t - b->tetra.get() : -1);
    };
    for (const std::array<double, 3>& p : points) {
        double w[4] = {0, 0, 0, 0};
        const Tetra* t = locator.FindCell(p.data(), w);
        number(t ? locator.GetGuess() : nullptr, t);
        number(locator.GetGuess(), locator.GetCellGuess());
        if (t) a.weights.insert(a.weights.end(), w, w + 4);
    }
    return a;
}

// Walks of random steps through the mesh's bounds: coherent, as path lines ask.
std::vector<std::array<double, 3>> Walks(const TetrahedralVolume& vol, uint64_t seed, int count) {
    MeshView view = View(vol);
    TestRandom rnd(seed);
    std::vector<std::array<double, 3>> points;
    std::array<double, 3> p{};
    for (int i = 0; i < count; ++i) {
        for (int a = 0; a < 3; ++a) {
            p[a] =
                i % 500 == 0 ? rnd.Uniform(view.lo[a], view.hi[a]) : p[a] + rnd.Uniform(-0.3, 0.3);
        }
        points.push_back(p);
    }
    return points;
}

TEST(PointLocationThreads, TwoLocatorsOnOneVolumeAnswerAsOneThreadDoes) {
    const std::string bytes = CraftedMesh().Bytes();
    TetrahedralVolume alone, shared;
    LoadBytes(alone, bytes);
    LoadBytes(shared, bytes);  // its indices are built while both threads search
    const std::vector<std::array<double, 3>> walks[2] = {Walks(alone, 21, 500000),
                                                         Walks(alone, 22, 500000)};
    const Answers expected[2] = {AnswerAll(alone, walks[0]), AnswerAll(alone, walks[1])};
    Answers got[2];
    std::thread other([&] { got[1] = AnswerAll(shared, walks[1]); });
    got[0] = AnswerAll(shared, walks[0]);
    other.join();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(got[i].numbers == expected[i].numbers);
        EXPECT_TRUE(got[i].weights == expected[i].weights);
        EXPECT_EQ(got[i].printed, expected[i].printed);
        // Both hits and misses, and notices from the degenerate tetrahedra.
        EXPECT_GT(expected[i].weights.size(), 4u * 100000u);
        EXPECT_LT(expected[i].weights.size(), 4u * 500000u);
        EXPECT_FALSE(expected[i].printed.empty());
    }
}

}  // namespace
