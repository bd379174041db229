// What point location derives for a block: the frames' quick rejection and the index's
// filing by weight planes. Neither may ever drop a tetrahedron that the exact inside test
// accepts, whatever its size, shape and distance from the origin; both must still drop most
// of what lies clearly outside.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "volume/arena.h"
#include "volume/cellindex.h"
#include "volume/pointlocator.h"
#include "volume/tetraframes.h"
#include "volume/tetravolume.h"

namespace {

// One block of tetrahedra built straight from corner positions, with the frames that
// IndexTetrahedra derives for them and the exact test to compare with.
struct FramedBlock {
    explicit FramedBlock(const std::vector<std::array<double, 3>>& corners) {
        const uint32_t count = (uint32_t)(corners.size() / 4);
        nodes.resize(corners.size());
        vertices.resize(corners.size());
        numbers.resize(corners.size());
        for (size_t k = 0; k < corners.size(); ++k) {
            for (int a = 0; a < 3; ++a) {
                nodes[k].point[a] = vertices[k].point[a] = corners[k][a];
                nodes[k].momentum[a] = 0;
            }
            numbers[k] = (uint32_t)k;
        }
        block.num_Tetra = count;
        block.tetra.reset(new Tetra[count]);
        for (int a = 0; a < 3; ++a) block.min[a] = INFINITY, block.max[a] = -INFINITY;
        for (uint32_t i = 0; i < count; ++i) {
            for (int k = 0; k < 4; ++k) {
                block.tetra[i].v[k] = &vertices[4 * i + k];
                for (int a = 0; a < 3; ++a) {
                    block.min[a] = std::min(block.min[a], corners[4 * i + k][a]);
                    block.max[a] = std::max(block.max[a], corners[4 * i + k][a]);
                }
            }
        }
        search = IndexTetrahedra(&arena, block, nodes.data(), numbers.data());
    }

    bool Accepts(uint32_t i, const double* p) {
        double w[4];
        return locator.EvaluateCell(&block.tetra[i], p, w) != 0;
    }
    // Whether the index lists tetrahedron i for point p.
    bool Listed(uint32_t i, const double* p) const {
        return search.index->FirstMatch(p, [i](uint32_t j) { return j == i; }) == i;
    }
    bool Rejects(uint32_t i, const double* p) const {
        float r[3];
        search.frames->Relative(p, r);
        return search.frames->Rejects(i, r);
    }
    // The point with barycentric weights w (summing to one) in tetrahedron i.
    void At(uint32_t i, const double* w, double* p) const {
        for (int a = 0; a < 3; ++a) {
            p[a] = 0;
            for (int k = 0; k < 4; ++k) p[a] += w[k] * vertices[4 * i + k].point[a];
        }
    }

    Arena arena;
    std::vector<FlowNode> nodes;
    std::vector<Vertex> vertices;
    std::vector<uint32_t> numbers;
    Block block;
    BlockSearch search;
    TetrahedralVolume none;
    PointLocator locator{none};
};

// Random tetrahedra of a given size and flatness around a given centre: four corners.
std::vector<std::array<double, 3>> RandomTetrahedra(std::mt19937_64& rng, int count, double centre,
                                                    double size, double flatness) {
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<std::array<double, 3>> corners;
    for (int t = 0; t < count; ++t) {
        for (int k = 0; k < 4; ++k) {
            std::array<double, 3> c;
            for (int a = 0; a < 3; ++a) c[a] = centre + size * unit(rng);
            c[2] = centre + (c[2] - centre) * flatness;
            corners.push_back(c);
        }
    }
    return corners;
}

// Appends `count` right-angled tetrahedra with legs `edge`, their corners 0 placed as
// RandomTetrahedra places its corners.
void AppendSmallTetrahedra(std::mt19937_64& rng, int count, double centre, double size, double edge,
                           std::vector<std::array<double, 3>>* corners) {
    const auto placed = RandomTetrahedra(rng, count, centre, size, 1);
    for (size_t k = 0; k < placed.size(); k += 4) {
        for (int c = 0; c < 4; ++c) {
            std::array<double, 3> p = placed[k];
            if (c > 0) p[c - 1] += edge;
            corners->push_back(p);
        }
    }
}

// Points at and around the tolerance's edge: weights drawn near -0.001 and 1.001, then
// nudged by a few units in the last place of the coordinates.
void ExpectNoFalseRejection(FramedBlock& b, std::mt19937_64& rng, int perTetra, int* accepted,
                            int* rejected) {
    std::uniform_real_distribution<double> unit(0, 1);
    std::uniform_int_distribution<int> corner(0, 3);
    for (uint32_t i = 0; i < b.block.num_Tetra; ++i) {
        for (int n = 0; n < perTetra; ++n) {
            double w[4] = {unit(rng), unit(rng), unit(rng), 0};
            w[corner(rng)] = -0.001 + 2e-5 * (unit(rng) - 0.5);
            if (n % 3 == 0) w[corner(rng)] = -0.03 * unit(rng);  // clearly outside at times
            double sum = w[0] + w[1] + w[2] + w[3];
            int last = corner(rng);
            double rest = sum - w[last];
            w[last] = 1 - rest;
            double p[3];
            b.At(i, w, p);
            for (int a = 0; a < 3; ++a) p[a] = std::nextafter(p[a], n % 2 ? INFINITY : -INFINITY);
            const bool accepts = b.Accepts(i, p);
            const bool rejects = b.Rejects(i, p);
            ASSERT_FALSE(accepts && rejects)
                << "tetrahedron " << i << " point " << p[0] << " " << p[1] << " " << p[2];
            *accepted += accepts;
            *rejected += rejects;
        }
    }
}

TEST(TetraFrames, NeverRejectWhatTheExactTestAcceptsAndRejectMostOfTheRest) {
    std::mt19937_64 rng(7);
    struct Case {
        double centre, size, flatness;
    };
    const Case cases[] = {{0, 1, 1},       {50, 1, 1},   {1e4, 0.5, 1},  {-3e5, 40, 1},
                          {0, 1e-3, 0.05}, {7, 2, 1e-3}, {1e6, 1e-3, 1}, {0, 1e-30, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.centre);
        FramedBlock b(RandomTetrahedra(rng, 200, c.centre, c.size, c.flatness));
        int accepted = 0, rejected = 0;
        ExpectNoFalseRejection(b, rng, 200, &accepted, &rejected);
        EXPECT_GT(accepted, 1000);
        EXPECT_GT(rejected, 1000);
    }
}

TEST(TetraFrames, TinyTetrahedraFarFromTheirBlocksCentreRejectNothing) {
    // A block stretched by one huge tetrahedron: floats about its centre are too coarse for
    // the small ones at its edge, which are left to the exact test.
    std::mt19937_64 rng(11);
    auto corners = RandomTetrahedra(rng, 100, 1e5, 1e-4, 1);
    for (const auto& c : std::vector<std::array<double, 3>>{
             {-1e6, -1e6, -1e6}, {1e6, -1e6, -1e6}, {-1e6, 1e6, -1e6}, {-1e6, -1e6, 1e6}}) {
        corners.push_back(c);
    }
    FramedBlock b(corners);
    int accepted = 0, rejected = 0;
    ExpectNoFalseRejection(b, rng, 200, &accepted, &rejected);
    EXPECT_GT(accepted, 1000);
    const double far[3] = {1e5 + 1, 1e5, 1e5};
    for (uint32_t i = 0; i < 100; ++i) EXPECT_FALSE(b.Rejects(i, far));
}

TEST(TetraFrames, PointsFarOutsideAreRejectedAndNaNIsNot) {
    FramedBlock b({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    const double far[][3] = {{2, 0, 0}, {-0.02, 0.2, 0.2}, {0.5, 0.5, 0.5}, {0.2, 0.2, -0.012}};
    for (const auto& p : far) EXPECT_TRUE(b.Rejects(0, p)) << p[0] << " " << p[1] << " " << p[2];
    const double inside[3] = {0.25, 0.25, 0.25}, edge[3] = {-0.0105, 0.3, 0.3};
    EXPECT_FALSE(b.Rejects(0, inside));
    EXPECT_FALSE(b.Rejects(0, edge));  // within the margin: left to the exact test
    const double nan[3] = {NAN, 0.1, 0.1};
    EXPECT_FALSE(b.Rejects(0, nan));
}

TEST(TetraFrames, DegenerateTetrahedraGetNoFrame) {
    FramedBlock b({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 1}});  // three corners on a line
    const double p[3] = {5, 5, 5};
    EXPECT_FALSE(b.Rejects(0, p));
}

TEST(CellFiling, EveryPointTheExactTestAcceptsFindsItsTetrahedronListed) {
    // Larger tetrahedra among many small ones, which make the cells a fraction of the larger
    // ones' size: those are filed under only some of the cells of their boxes.
    std::mt19937_64 rng(5);
    auto corners = RandomTetrahedra(rng, 20, 6, 2, 1);
    AppendSmallTetrahedra(rng, 3000, 6, 6, 0.3, &corners);
    FramedBlock b(corners);
    std::uniform_real_distribution<double> unit(0, 1);
    int outside = 0, listedOutside = 0;
    for (uint32_t i = 0; i < 20; ++i) {
        for (int n = 0; n < 4000; ++n) {
            // One weight on the tolerance shell, or on either side of it, or well outside.
            double w[4] = {unit(rng), unit(rng), unit(rng), unit(rng)};
            const int low = n % 4;
            w[low] = n % 3 ? -0.001 + 0.004 * (unit(rng) - 0.75) : -unit(rng);
            double spread = 0;
            for (int k = 0; k < 4; ++k) spread += k == low ? 0 : w[k];
            for (int k = 0; k < 4; ++k) w[k] = k == low ? w[k] : w[k] * (1 - w[low]) / spread;
            double p[3];
            b.At(i, w, p);
            if (b.Accepts(i, p)) {
                ASSERT_TRUE(b.Listed(i, p)) << "tetrahedron " << i << " weight " << w[low];
            } else if (w[low] < -0.1) {
                ++outside;
                listedOutside += b.Listed(i, p);
            }
        }
    }
    // Well outside, most points meet a cell that the planes cut off.
    EXPECT_GT(outside, 10000);
    EXPECT_LT(listedOutside, outside / 2);
}

TEST(CellFiling, ABoxWiderThanThePlanesReachIsFiledWhole) {
    // One tetrahedron across the whole block among thousands of small ones: its box spans
    // more sub-cells per axis than the planes are worked out for, so it is filed under every
    // cell of its box, and still found everywhere inside it.
    std::mt19937_64 rng(3);
    std::vector<std::array<double, 3>> corners = {{0, 0, 0}, {40, 0, 0}, {0, 40, 0}, {0, 0, 40}};
    AppendSmallTetrahedra(rng, 3000, 20, 20, 0.2, &corners);
    FramedBlock b(corners);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int n = 0; n < 20000; ++n) {
        double w[4] = {unit(rng), unit(rng), unit(rng), unit(rng)};
        const double sum = w[0] + w[1] + w[2] + w[3];
        for (double& x : w) x /= sum;
        double p[3];
        b.At(0, w, p);
        ASSERT_TRUE(b.Listed(0, p)) << p[0] << " " << p[1] << " " << p[2];
    }
}

TEST(CellFiling, PlanesFileFewerReferencesThanBoxes) {
    // Cubes of six tetrahedra: each fills a sixth of its box.
    std::vector<std::array<double, 3>> corners;
    const int order[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y)
            for (int z = 0; z < 8; ++z)
                for (const auto& o : order) {
                    std::array<double, 3> p = {(double)x, (double)y, (double)z};
                    corners.push_back(p);
                    for (int a : o) {
                        p[a] += 1;
                        corners.push_back(p);
                    }
                }
    FramedBlock b(corners);
    std::vector<WorldBox> boxes(b.block.num_Tetra);
    std::vector<CellIndex::Kind> kinds(b.block.num_Tetra, CellIndex::kBoxed);
    for (uint32_t i = 0; i < b.block.num_Tetra; ++i) {
        for (int a = 0; a < 3; ++a) {
            boxes[i].lo[a] = INFINITY, boxes[i].hi[a] = -INFINITY;
            for (int k = 0; k < 4; ++k) {
                boxes[i].lo[a] = std::min(boxes[i].lo[a], corners[4 * i + k][a] - 0.005);
                boxes[i].hi[a] = std::max(boxes[i].hi[a], corners[4 * i + k][a] + 0.005);
            }
        }
    }
    Arena arena;
    const CellIndex byBoxes(&arena, boxes, kinds);
    EXPECT_LT(b.search.index->MemoryBytes(), byBoxes.MemoryBytes() * 3 / 4);
}

}  // namespace
