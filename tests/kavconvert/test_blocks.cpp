// Forming blocks: every tetrahedron in exactly one block of bounded size with its exact
// box, and boxes that only touch where the mesh has planes of faces to cut along.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tools/kavconvert/blocks.h"

namespace {

// The cells of an n^3 grid of unit cubes, each cut into the six tetrahedra around its
// diagonal; with `jitter`, the inner grid points move by up to that much.
kav::TetMesh Cubes(int n, double jitter) {
    kav::TetMesh m;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> shift(-jitter, jitter);
    auto id = [n](int i, int j, int k) { return uint32_t(i + (n + 1) * (j + (n + 1) * k)); };
    for (int k = 0; k <= n; ++k) {
        for (int j = 0; j <= n; ++j) {
            for (int i = 0; i <= n; ++i) {
                int c[3] = {i, j, k};
                Vertex v{};
                for (int a = 0; a < 3; ++a) {
                    bool inner = c[a] > 0 && c[a] < n;
                    v.point[a] = c[a] + (inner ? shift(rng) : 0);
                }
                m.vertices.push_back(v);
            }
        }
    }
    const int orders[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                for (const auto& order : orders) {
                    int c[3] = {i, j, k};
                    kav::Tet t;
                    t.v[0] = id(c[0], c[1], c[2]);
                    for (int s = 0; s < 3; ++s) {
                        ++c[order[s]];
                        t.v[s + 1] = id(c[0], c[1], c[2]);
                    }
                    m.tets.push_back(t);
                }
            }
        }
    }
    return m;
}

using Key = std::array<uint32_t, 4>;

std::vector<Key> Sorted(const std::vector<kav::Tet>& tets) {
    std::vector<Key> keys;
    for (const kav::Tet& t : tets) keys.push_back({t.v[0], t.v[1], t.v[2], t.v[3]});
    std::sort(keys.begin(), keys.end());
    return keys;
}

void ExpectSoundBlocks(const kav::TetMesh& before, const kav::TetMesh& after,
                       const std::vector<kav::BlockSpan>& blocks, uint32_t limit) {
    EXPECT_EQ(Sorted(before.tets), Sorted(after.tets));
    size_t next = 0;
    for (const kav::BlockSpan& b : blocks) {
        ASSERT_EQ(b.first, next);
        next += b.count;
        EXPECT_LE(b.count, limit);
        EXPECT_GE(b.count, limit / 4);
        for (int a = 0; a < 3; ++a) {
            double lo = INFINITY, hi = -INFINITY;
            for (size_t i = b.first; i < b.first + b.count; ++i) {
                for (uint32_t v : after.tets[i].v) {
                    lo = std::min(lo, after.vertices[v].point[a]);
                    hi = std::max(hi, after.vertices[v].point[a]);
                }
            }
            EXPECT_EQ(b.min[a], lo);
            EXPECT_EQ(b.max[a], hi);
        }
    }
    EXPECT_EQ(next, after.tets.size());
}

}  // namespace

TEST(Blocks, GridCellsGiveBoxesThatOnlyTouch) {
    kav::TetMesh mesh = Cubes(13, 0), before = mesh;
    std::vector<kav::BlockSpan> blocks = kav::Partition(&mesh, 500);
    EXPECT_GE(blocks.size(), 6u * 13 * 13 * 13 / 500);
    ExpectSoundBlocks(before, mesh, blocks, 500);
    EXPECT_EQ(kav::CountOverlappingBlocks(blocks), 0u);
}

TEST(Blocks, IrregularMeshStaysCoveredAndCompact) {
    kav::TetMesh mesh = Cubes(12, 0.3), before = mesh;
    std::vector<kav::BlockSpan> blocks = kav::Partition(&mesh, 500);
    ExpectSoundBlocks(before, mesh, blocks, 500);
    // Compact: no block's box reaches across much more than its share of the domain.
    for (const kav::BlockSpan& b : blocks) {
        double volume = (b.max[0] - b.min[0]) * (b.max[1] - b.min[1]) * (b.max[2] - b.min[2]);
        EXPECT_LT(volume, 3.0 * b.count / 6);
    }
}

TEST(Blocks, OverlapCount) {
    auto box = [](double x0, double x1) { return kav::BlockSpan{0, 1, {x0, 0, 0}, {x1, 1, 1}}; };
    EXPECT_EQ(kav::CountOverlappingBlocks({box(0, 1), box(1, 2), box(2, 3)}), 0u);
    EXPECT_EQ(kav::CountOverlappingBlocks({box(0, 1.5), box(1, 2), box(2, 3)}), 2u);
    EXPECT_EQ(kav::CountOverlappingBlocks({box(0, 3), box(1, 2), box(2.5, 2.75)}), 3u);
}
