// A volume spread over several processes, all in this one: the block layout read from the
// headers, the split into shares, each share's blocks and vertices, and isosurfaces and path
// lines put together from the shares, which must be exactly those of the whole volume.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "tests/testutil.h"
#include "tests/tetmesh.h"
#include "volume/linetravel.h"
#include "volume/marchingtetra.h"
#include "volume/volumeshare.h"

namespace {

// A swirl through a jittered grid in 3 x 2 x 2 overlapping blocks, with degenerate
// tetrahedra at the head of two blocks, so that lookups cross blocks and print notices.
VolumeBytes SwirlVolume() {
    GridMesh mesh;
    mesh.n[0] = 12;
    mesh.n[1] = 8;
    mesh.n[2] = 8;
    mesh.blocks[0] = 3;
    mesh.overlap = 0.5;
    mesh.momentum = [](const double* p, double* m) {
        m[0] = -(p[1] - 4) * 0.3 + 0.05;
        m[1] = (p[0] - 6) * 0.3;
        m[2] = 0.02 * std::sin(p[0]);
    };
    VolumeBytes f = mesh.Build();
    InsertTetra(f, 4, 0, {0, 1, 2, 0});
    InsertTetra(f, 7, 0, {5, 5, 6, 7});
    return f;
}

class Shares : public ::testing::Test {
protected:
    void SetUp() override {
        path = MakeTempDir() + "/volume.kav";
        WriteFile(path, SwirlVolume().Bytes());
        StdoutToFile quiet;
        ASSERT_TRUE(whole.ReadFile(path.c_str()).Loaded());
        fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        std::string printed;
        ASSERT_TRUE(ReadVolumeLayout(fd, path.c_str(), &layout, Console(&printed)).Loaded());
    }
    void TearDown() override {
        if (fd >= 0) close(fd);
    }

    // The shares of `parts` processes.
    std::vector<std::unique_ptr<TetrahedralVolume>> Load(int parts) {
        starts = SplitBlocks(layout, parts);
        std::vector<std::unique_ptr<TetrahedralVolume>> shares;
        for (int p = 0; p < parts; ++p) {
            shares.push_back(std::make_unique<TetrahedralVolume>());
            EXPECT_TRUE(shares[p]
                            ->ReadShare(fd, path.c_str(), layout, starts[p], starts[p + 1], 1)
                            .Loaded());
        }
        return shares;
    }

    std::string path;
    int fd = -1;
    TetrahedralVolume whole;
    VolumeLayout layout;
    std::vector<size_t> starts;
};

TEST_F(Shares, TheLayoutIsTheLoadersBlockList) {
    const std::vector<Block>& blocks = whole.GetBlocks();
    ASSERT_EQ(layout.blocks.size(), blocks.size());
    EXPECT_EQ(layout.numPoints, whole.GetNumPoints());
    for (size_t b = 0; b < blocks.size(); ++b) {
        EXPECT_EQ(layout.blocks[b].numTetra, blocks[b].num_Tetra);
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(layout.blocks[b].box[2 * a], blocks[b].min[a]);
            EXPECT_EQ(layout.blocks[b].box[2 * a + 1], blocks[b].max[a]);
        }
    }
}

TEST_F(Shares, SplitsAreConsecutiveCompleteAndBalanced) {
    uint64_t largest = 0;
    for (const BlockHeader& b : layout.blocks) largest = std::max<uint64_t>(largest, b.numTetra);
    for (int parts = 1; parts <= 6; ++parts) {
        std::vector<size_t> s = SplitBlocks(layout, parts);
        ASSERT_EQ(s.size(), (size_t)parts + 1);
        EXPECT_EQ(s.front(), 0u);
        EXPECT_EQ(s.back(), layout.blocks.size());
        for (int p = 0; p < parts; ++p) {
            ASSERT_LE(s[p], s[p + 1]);
            uint64_t tetra = 0;
            for (size_t b = s[p]; b < s[p + 1]; ++b) tetra += layout.blocks[b].numTetra;
            EXPECT_LE(tetra, layout.TetraCount() / parts + largest) << parts << " parts";
        }
    }
}

TEST_F(Shares, EachShareHoldsItsBlocksAndOnlyTheirVertices) {
    for (int parts : {1, 2, 3, 5}) {
        auto shares = Load(parts);
        uint32_t vertices = 0;
        for (int p = 0; p < parts; ++p) {
            const TetrahedralVolume& share = *shares[p];
            ASSERT_EQ(share.GetBlocks().size(), whole.GetBlocks().size());
            for (size_t b = 0; b < share.GetBlocks().size(); ++b) {
                const Block& mine = share.GetBlocks()[b];
                const Block& all = whole.GetBlocks()[b];
                const bool held = b >= starts[p] && b < starts[p + 1];
                ASSERT_EQ(mine.num_Tetra, held ? all.num_Tetra : 0u);
                // The same corners, through the fresh vertex numbers.
                for (uint32_t i = 0; i < mine.num_Tetra; ++i)
                    for (int k = 0; k < 4; ++k)
                        ASSERT_EQ(memcmp(mine.tetra[i].v[k], all.tetra[i].v[k], sizeof(Vertex)), 0);
            }
            vertices += share.GetNumPoints();
        }
        if (parts == 1) {
            EXPECT_EQ(vertices, whole.GetNumPoints());
        }
        // Shared vertices lie only on the faces between shares.
        EXPECT_LT(vertices, whole.GetNumPoints() * 3 / 2) << parts << " parts";
    }
}

TEST_F(Shares, IsosurfacesOfTheSharesAreTheWholeOnes) {
    for (double value : {0.2, 0.9, 1.7}) {
        TriangleStore expected;
        std::string text;
        ExtractIsosurface(whole, fieldMomentum, value, &expected, Console(&text), nullptr, 2);
        for (int parts : {1, 2, 3}) {
            auto shares = Load(parts);
            std::vector<Triangle> joined;
            std::string lines;
            for (int p = 0; p < parts; ++p) {
                TriangleStore store;
                std::vector<uint32_t> counts;
                ExtractBlocks(*shares[p], fieldMomentum, value, starts[p], starts[p + 1], &store,
                              &counts, 2);
                ASSERT_EQ(counts.size(), starts[p + 1] - starts[p]);
                for (size_t i = 0; i < counts.size(); ++i)
                    Console(&lines).Print("Block %i processed.. %i triangles added.\n",
                                          (int)(starts[p] + i) + 1, (int)counts[i]);
                for (size_t i = 0; i < store.Size(); ++i) joined.push_back(store[i]);
            }
            EXPECT_EQ(lines, text);
            ASSERT_EQ(joined.size(), expected.Size());
            for (size_t i = 0; i < joined.size(); ++i)
                ASSERT_EQ(memcmp(&joined[i], &expected[i], sizeof(Triangle)), 0) << i;
        }
    }
}

TEST_F(Shares, LinesTravellingThroughTheSharesAreTheWholeOnes) {
    std::vector<Seed> seeds;
    TestRandom random(7);
    for (int i = 0; i < 40; ++i)
        seeds.push_back(
            {random.Uniform(-0.5, 12.5), random.Uniform(-0.5, 8.5), random.Uniform(0.5, 7.5)});
    PointLocator locator(whole);
    std::vector<PathLine> expected;
    std::string text;
    TracePathLines(&locator, seeds, &expected, Console(&text), nullptr, 1);
    ASSERT_NE(text.find("Aborting because Det = 0"), std::string::npos);
    for (int parts : {1, 2, 3, 4}) {
        auto shares = Load(parts);
        std::vector<std::unique_ptr<ShareLocator>> locators;
        for (int p = 0; p < parts; ++p)
            locators.push_back(std::make_unique<ShareLocator>(*shares[p], starts, p));
        std::string printed;
        int moves = 0;
        for (size_t i = 0; i < seeds.size(); ++i) {
            Traveller t = StartTraveller((uint32_t)i, seeds[i]);
            std::vector<Particle> points;
            for (int at = (int)i % parts; at >= 0; ++moves) {
                Piece piece;
                at = TravelLine(&t, locators[at].get(), &piece);
                printed += piece.text;
                points.insert(points.end(), piece.points.begin(), piece.points.end());
            }
            const std::vector<Particle>& want = expected[i].Points();
            ASSERT_EQ(points.size(), want.size()) << "line " << i << ", " << parts << " parts";
            EXPECT_EQ(memcmp(points.data(), want.data(), want.size() * sizeof(Particle)), 0);
        }
        EXPECT_EQ(printed, text) << parts << " parts";
        if (parts > 1) {
            EXPECT_GT(moves, (int)seeds.size()) << "no line crossed shares";
        }
    }
}

TEST_F(Shares, BrokenFilesAreRefused) {
    VolumeBytes f = SwirlVolume();
    f.blocks[1].indices[5] = (uint32_t)f.vertices.size();  // beyond the vertices
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/bad.kav", f.Bytes());
    int bad = open((dir + "/bad.kav").c_str(), O_RDONLY);
    VolumeLayout badLayout;
    std::string printed;
    ASSERT_TRUE(ReadVolumeLayout(bad, "bad.kav", &badLayout, Console(&printed)).Loaded());
    std::vector<size_t> s = SplitBlocks(badLayout, 2);
    // Only the share holding the broken block sees it.
    const size_t broken = badLayout.blocks.size() - 2;  // list order is reversed
    for (int p = 0; p < 2; ++p) {
        TetrahedralVolume share;
        LoadResult r = share.ReadShare(bad, "bad.kav", badLayout, s[p], s[p + 1], 1);
        const bool holds = broken >= s[p] && broken < s[p + 1];
        EXPECT_EQ(r.Loaded(), !holds);
        if (holds) {
            EXPECT_NE(r.message.find("beyond the"), std::string::npos) << r.message;
            EXPECT_EQ(share.GetNumPoints(), 0u);
            EXPECT_TRUE(share.GetBlocks().empty());
        }
    }
    close(bad);
    // A file cut inside a block.
    const std::string bytes = f.Bytes();
    WriteFile(dir + "/cut.kav", bytes.substr(0, bytes.size() - 10));
    int cut = open((dir + "/cut.kav").c_str(), O_RDONLY);
    LoadResult r = ReadVolumeLayout(cut, "cut.kav", &badLayout, Console(&printed));
    EXPECT_EQ(r.status, LoadStatus::kRefused);
    EXPECT_NE(r.message.find("runs past the end"), std::string::npos) << r.message;
    close(cut);
}

}  // namespace
