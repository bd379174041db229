// Reading volume files: the console transcript, the block list, and refusal of bad files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "testutil.h"
#include "volume/tetravolume.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// A unit tetrahedron's four vertices and one block holding it.
VolumeBytes OneTetra() {
    VolumeBytes f;
    f.minimum = MakeVertex(0, 0, 0, 1.0, 2.0, 0, 0, 0);
    f.maximum = MakeVertex(1, 1, 1, 1.5, 4.0, 3, 0, 4);
    f.vertices = {MakeVertex(0, 0, 0, 1.0), MakeVertex(1, 0, 0, 1.1), MakeVertex(0, 1, 0, 1.2),
                  MakeVertex(0, 0, 1, 1.3)};
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3}});
    return f;
}

struct Loaded {
    std::string out, err;  // the console's two streams
    LoadResult result;
};

Loaded Load(TetrahedralVolume& vol, const std::string& bytes) {
    FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    CaptureStdout();
    CaptureStderr();
    LoadResult result = vol.ReadStream(f, "volume.kav");
    Loaded r{GetCapturedStdout(), GetCapturedStderr(), result};
    fclose(f);
    return r;
}

int CountBlocks(const TetrahedralVolume& vol) {
    return (int)vol.GetBlocks().size();
}

void ExpectRefused(const TetrahedralVolume& vol, const Loaded& r, const char* what) {
    const std::string& message = r.result.message;
    EXPECT_EQ(r.result.status, LoadStatus::kRefused);
    EXPECT_EQ(message.find("ERROR: \"volume.kav\": "), 0u) << message;
    EXPECT_NE(message.find(what), std::string::npos) << message;
    EXPECT_NE(message.find("; nothing loaded from it."), std::string::npos) << message;
    EXPECT_EQ(r.err, "");  // the caller reports it
    EXPECT_EQ(vol.GetNumPoints(), 0u);
    EXPECT_TRUE(vol.GetBlocks().empty());
    double range[2];
    vol.GetRange(fieldDensity, range);
    EXPECT_TRUE(std::isnan(range[0]) && std::isnan(range[1]));
}

}  // namespace

TEST(VolumeRead, TranscriptPointersAndRanges) {
    TetrahedralVolume vol;
    std::string path = MakeTempDir() + "/volume.kav";
    WriteFile(path, OneTetra().Bytes());
    CaptureStdout();
    vol.ReadFile(path.c_str());
    std::string out = GetCapturedStdout();
    EXPECT_EQ(out, "Reading tetrahedral volume file \"" + path +
                       "\"...\n"
                       "Volume spans:\n"
                       "\tX:\t0.000000\t1.000000\n"
                       "\tY:\t0.000000\t1.000000\n"
                       "\tZ:\t0.000000\t1.000000\n"
                       "-> 4 vertices.\n"
                       "-> Reading Tetrahedral Blocks...\n"
                       "\r-> A block of 1 tetrahedra.          ");
    ASSERT_EQ(CountBlocks(vol), 1);
    const Block* b = &vol.GetBlocks()[0];
    ASSERT_EQ(b->num_Tetra, 1u);
    for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(b->tetra[0].v[k]->Density, 1.0 + 0.1 * k);

    double range[2];
    vol.GetRange(fieldMomentum, range);  // the magnitude, not a component
    EXPECT_EQ(range[0], 0.0);
    EXPECT_EQ(range[1], 5.0);
    vol.GetRange(fieldEnergy, range);
    EXPECT_EQ(range[0], 2.0);
    EXPECT_EQ(range[1], 4.0);
    vol.GetRange(static_cast<FieldVar>(7), range);
    EXPECT_TRUE(std::isnan(range[0]) && std::isnan(range[1]));
}

TEST(VolumeRead, BlocksReversedBoxesDeinterleavedEmptyBlockKept) {
    VolumeBytes f = OneTetra();
    f.blocks = {{{0, 10, 1, 11, 2, 12}, {0, 1, 2, 3}},
                {{5, 6, 5, 6, 5, 6}, {}},
                {{-1, 1, -2, 2, -3, 3}, {3, 2, 1, 0, 0, 1, 2, 3}}};
    TetrahedralVolume vol;
    Load(vol, f.Bytes());
    ASSERT_EQ(CountBlocks(vol), 3);
    const Block* c = &vol.GetBlocks()[0];
    const Block* b = &vol.GetBlocks()[1];
    const Block* a = &vol.GetBlocks()[2];
    EXPECT_EQ(c->num_Tetra, 2u);
    EXPECT_EQ(c->tetra[0].v[0]->point[2], 1.0);  // index 3 is (0, 0, 1)
    EXPECT_EQ(b->num_Tetra, 0u);
    EXPECT_EQ(b->min[0], 5.0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a->min[k], (double)k);
        EXPECT_EQ(a->max[k], 10.0 + k);
    }
}

TEST(VolumeRead, HeaderOnlyAndVerticesOnlyFilesLoadEmpty) {
    VolumeBytes f = OneTetra();
    f.vertices.clear();
    f.blocks.clear();
    std::string bytes = f.Bytes();
    ASSERT_EQ(bytes.size(), 152u);
    TetrahedralVolume empty;
    Loaded r = Load(empty, bytes);
    EXPECT_TRUE(r.result.Loaded());
    EXPECT_EQ(empty.GetNumPoints(), 0u);
    EXPECT_TRUE(empty.GetBlocks().empty());

    f = OneTetra();
    f.blocks.clear();
    TetrahedralVolume noBlocks;
    r = Load(noBlocks, f.Bytes());
    EXPECT_TRUE(r.result.Loaded());
    EXPECT_EQ(noBlocks.GetNumPoints(), 4u);
    EXPECT_TRUE(noBlocks.GetBlocks().empty());
}

TEST(VolumeRead, MissingFileReportsAndLeavesRangeUnknown) {
    TetrahedralVolume vol;
    std::string path = MakeTempDir() + "/volume.kav";
    CaptureStdout();
    LoadResult result = vol.ReadFile(path.c_str());
    GetCapturedStdout();
    EXPECT_EQ(result.status, LoadStatus::kCannotOpen);
    EXPECT_EQ(result.message, "ERROR:: No such file or directory");
    EXPECT_TRUE(vol.GetBlocks().empty());
    double range[2];
    vol.GetRange(fieldEnergy, range);
    EXPECT_TRUE(std::isnan(range[0]) && std::isnan(range[1]));
}

TEST(VolumeRead, TruncatedFilesAreRefused) {
    std::string full = OneTetra().Bytes();
    struct Cut {
        size_t size;
        const char* what;
    } cuts[] = {{0, "the magic number"},
                {3, "the magic number"},
                {4, "the header"},
                {100, "the header"},
                {150, "the header"},
                {152 + 72 * 4 - 1, "4 vertices need 288 bytes"},
                {152 + 72 * 4 + 20, "a block record"},
                {full.size() - 1, "runs past the end of the file"}};
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.size);
        TetrahedralVolume vol;
        Loaded r = Load(vol, full.substr(0, cut.size));
        ExpectRefused(vol, r, cut.what);
    }
}

TEST(VolumeRead, HugeCountsAreRefusedBeforeAllocating) {
    VolumeBytes f = OneTetra();
    f.vertices.clear();
    f.blocks.clear();
    std::string bytes = f.Bytes();
    uint32_t huge = 0xFFFFFFFFu;
    bytes.replace(148, 4, reinterpret_cast<const char*>(&huge), 4);
    TetrahedralVolume vol;
    ExpectRefused(vol, Load(vol, bytes), "4294967295 vertices need 309237645240 bytes");

    f = OneTetra();
    std::string withBlock = f.Bytes();
    withBlock.replace(152 + 72 * 4 + 48, 4, reinterpret_cast<const char*>(&huge), 4);
    TetrahedralVolume vol2;
    ExpectRefused(vol2, Load(vol2, withBlock), "a block of 4294967295 tetrahedra");
}

TEST(VolumeRead, VertexIndicesMustBeBelowTheVertexCount) {
    VolumeBytes f = OneTetra();
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3, 3, 2, 4, 0}});
    TetrahedralVolume vol;
    ExpectRefused(vol, Load(vol, f.Bytes()), "tetrahedron 1 of a block refers to a vertex");

    f.blocks.back().indices[6] = 3;  // the largest valid index
    TetrahedralVolume ok;
    Loaded r = Load(ok, f.Bytes());
    EXPECT_TRUE(r.result.Loaded());
    EXPECT_EQ(CountBlocks(ok), 2);
}

TEST(VolumeRead, WrongMagicIsReportedForTheCallerToEndTheProgram) {
    std::string bytes = OneTetra().Bytes();
    bytes[0] = 'X';
    TetrahedralVolume vol;
    Loaded r = Load(vol, bytes);
    EXPECT_EQ(r.result.status, LoadStatus::kWrongMagic);
    EXPECT_EQ(r.result.message, "File is not in valid SKAV format!");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(vol.GetBlocks().empty());
}

namespace {

// Loads `bytes` with its derived data made on `threads` threads.
void LoadOn(TetrahedralVolume& vol, const std::string& bytes, int threads) {
    FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    std::string console;
    ASSERT_TRUE(vol.ReadStream(f, "volume.kav", Console(&console), threads).Loaded());
    fclose(f);
}

// A mesh of many small blocks, with NaN scalars among them.
VolumeBytes ManyBlocks() {
    VolumeBytes f;
    const int n = 6;
    for (int z = 0; z <= n; ++z) {
        for (int y = 0; y <= n; ++y) {
            for (int x = 0; x <= n; ++x) {
                Vertex v = MakeVertex(x, y, z, 0.1 * x + 0.01 * y, z - y, x, y, z);
                v.MomentumMag = std::sqrt(x * x + y * y + z * z);
                f.vertices.push_back(v);
            }
        }
    }
    f.vertices[17].Density = std::nan("");
    auto at = [&](int x, int y, int z) { return (uint32_t)((z * (n + 1) + y) * (n + 1) + x); };
    for (int z = 0; z < n; ++z) {
        VolumeBytes::BlockRec block{{0, (double)n, 0, (double)n, (double)z, z + 1.0}, {}};
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                // Five tetrahedra per cube.
                const uint32_t c[8] = {at(x, y, z),         at(x + 1, y, z),
                                       at(x, y + 1, z),     at(x + 1, y + 1, z),
                                       at(x, y, z + 1),     at(x + 1, y, z + 1),
                                       at(x, y + 1, z + 1), at(x + 1, y + 1, z + 1)};
                const int tets[5][4] = {
                    {0, 1, 2, 4}, {1, 3, 2, 7}, {1, 4, 5, 7}, {2, 4, 7, 6}, {1, 2, 4, 7}};
                for (const auto& t : tets) {
                    for (int k : t) block.indices.push_back(c[k]);
                }
            }
        }
        f.blocks.push_back(block);
    }
    return f;
}

}  // namespace

TEST(VolumeRead, DerivedArraysFollowTheFileAndRangesHoldEveryRun) {
    const VolumeBytes f = ManyBlocks();
    TetrahedralVolume vol;
    LoadOn(vol, f.Bytes(), 2);
    const std::vector<Block>& blocks = vol.GetBlocks();
    ASSERT_EQ(blocks.size(), f.blocks.size());
    for (uint32_t i = 0; i < vol.GetNumPoints(); ++i) {
        const Vertex& v = vol.GetPoints()[i];
        const FlowNode& node = vol.GetNodes()[i];
        for (int a = 0; a < 3; ++a) {
            ASSERT_EQ(node.point[a], v.point[a]);
            ASSERT_EQ(node.momentum[a], v.Momentum[a]);
        }
        ASSERT_EQ(vol.GetScalars(fieldEnergy)[i], v.Energy);
        ASSERT_EQ(vol.GetScalars(fieldMomentum)[i], v.MomentumMag);
    }
    EXPECT_EQ(vol.GetScalars((FieldVar)3), nullptr);
    for (size_t b = 0; b < blocks.size(); ++b) {
        // List order is the reverse of the file's.
        const std::vector<uint32_t>& indices = f.blocks[blocks.size() - 1 - b].indices;
        const uint32_t* numbers = vol.GetVertexNumbers(b);
        for (uint32_t t = 0; t < blocks[b].num_Tetra; ++t) {
            for (int k = 0; k < 4; ++k) {
                ASSERT_EQ(numbers[4 * t + k], indices[4 * t + k]);
                ASSERT_EQ(blocks[b].tetra[t].v[k], vol.GetPoints() + numbers[4 * t + k]);
            }
        }
        for (FieldVar field : {fieldDensity, fieldEnergy, fieldMomentum}) {
            const float* ranges = vol.GetRunRanges(b, field);
            const double* s = vol.GetScalars(field);
            double blockLo = INFINITY, blockHi = -INFINITY;
            bool blockNaN = false;
            for (uint32_t run = 0; run * kRunTetra < blocks[b].num_Tetra; ++run) {
                const float* r = ranges + 2 + 2 * run;
                double lo = INFINITY, hi = -INFINITY;
                bool nan = false;
                for (uint32_t t = run * kRunTetra;
                     t < std::min((run + 1) * kRunTetra, blocks[b].num_Tetra); ++t) {
                    for (int k = 0; k < 4; ++k) {
                        double x = s[numbers[4 * t + k]];
                        nan |= std::isnan(x);
                        if (!std::isnan(x)) lo = std::min(lo, x), hi = std::max(hi, x);
                    }
                }
                // A NaN in the run makes its lowest NaN, so that no value counts as above it.
                EXPECT_EQ(std::isnan(r[0]), nan);
                if (!nan) {
                    EXPECT_LE(r[0], lo);
                }
                EXPECT_GE(r[1], hi);
                blockLo = std::min(blockLo, lo), blockHi = std::max(blockHi, hi);
                blockNaN |= nan;
            }
            EXPECT_EQ(std::isnan(ranges[0]), blockNaN);
            if (!blockNaN) {
                EXPECT_LE(ranges[0], blockLo);
            }
            EXPECT_GE(ranges[1], blockHi);
        }
    }
    EXPECT_EQ(vol.GetRunRanges(0, (FieldVar)-1), nullptr);
}

TEST(VolumeThreads, DerivedDataIsTheSameOnAnyThreadCount) {
    const std::string bytes = ManyBlocks().Bytes();
    TetrahedralVolume one, many;
    LoadOn(one, bytes, 1);
    LoadOn(many, bytes, 5);
    ASSERT_EQ(one.GetBlocks().size(), many.GetBlocks().size());
    for (size_t b = 0; b < one.GetBlocks().size(); ++b) {
        const uint32_t count = one.GetBlocks()[b].num_Tetra;
        for (FieldVar field : {fieldDensity, fieldEnergy, fieldMomentum}) {
            const size_t floats = 2 + 2 * ((count + kRunTetra - 1) / kRunTetra);
            EXPECT_EQ(memcmp(one.GetRunRanges(b, field), many.GetRunRanges(b, field),
                             floats * sizeof(float)),
                      0);
        }
        EXPECT_EQ(memcmp(one.GetVertexNumbers(b), many.GetVertexNumbers(b), 16 * (size_t)count), 0);
    }
}
