// Reading volume files: the console transcript, the block list, and refusal of bad files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

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
