// Surface files, the colour map and texture coordinates, without an OpenGL context.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "surface/colormap.h"
#include "surface/displaylist.h"
#include "testutil.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

SurfaceBytes OneTriangle() {
    SurfaceBytes s;
    s.minimum = MakeVertex(-1, 0, 2, 1.0, 10.0);
    s.maximum = MakeVertex(3, 4, 5, 2.0, 20.0, 0, 3, 4);
    s.vertices = {MakeVertex(-1, 0, 2), MakeVertex(3, 0, 2), MakeVertex(3, 4, 5)};
    s.tris = {{{0, 1, 2}, {0, 0, 1}}};
    return s;
}

// What loading printed, followed by the line that reports a failure (the caller's to print).
std::string Load(DisplayListObject& obj, const std::string& bytes) {
    FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    CaptureStdout();
    CaptureStderr();
    LoadResult result = obj.LoadStream(f, "surface-1.kav");
    std::string out = GetCapturedStdout();
    std::string err = GetCapturedStderr();
    fclose(f);
    EXPECT_EQ(err, "");
    return out + (result.Loaded() ? "" : result.message + "\n");
}

}  // namespace

TEST(Surface, LoadsAndWidensBounds) {
    DisplayListObject obj;
    double untouched[6] = {9e10, -9e10, 9e10, -9e10, 9e10, -9e10};
    obj.StretchBounds(untouched);
    EXPECT_EQ(untouched[0], 9e10);
    EXPECT_EQ(untouched[1], -9e10);

    EXPECT_EQ(Load(obj, OneTriangle().Bytes()),
              "File contains 3 points and 1 triangles...\nLoading complete..\n");
    EXPECT_EQ(obj.GetNumTris(), 1u);
    double b[6] = {9e10, -9e10, 9e10, -9e10, 9e10, -9e10};
    obj.StretchBounds(b);
    const double want[6] = {-1, 3, 0, 4, 2, 5};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(b[i], want[i]);
    double wide[6] = {-10, 10, -10, 10, -10, 10};
    obj.StretchBounds(wide);
    EXPECT_EQ(wide[0], -10.0);
    EXPECT_EQ(wide[5], 10.0);
}

TEST(Surface, BadFilesAreRefusedAndLeaveTheModelEmpty) {
    std::string full = OneTriangle().Bytes();
    std::string huge = full.substr(0, 156);
    uint32_t big = 0xFFFFFFFFu;
    huge.replace(148, 4, reinterpret_cast<const char*>(&big), 4);
    SurfaceBytes badIndex = OneTriangle();
    badIndex.tris.push_back({{2, 3, 0}, {0, 0, 1}});
    struct Case {
        std::string bytes;
        const char* message;
    } cases[] = {{"", "the file ends inside the magic number"},
                 {full.substr(0, 150), "the file ends inside the header"},
                 {full.substr(0, full.size() - 1), "need 252 bytes but only 251 follow"},
                 {huge, "4294967295 points and 1 triangles need"},
                 {badIndex.Bytes(), "triangle 1 refers to a vertex beyond the 3 points"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        DisplayListObject obj;
        std::string out = Load(obj, c.bytes);
        EXPECT_NE(out.find("ERROR: \"surface-1.kav\": "), std::string::npos) << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_EQ(out.find("Loading complete"), std::string::npos);
        EXPECT_EQ(obj.GetNumTris(), 0u);
        EXPECT_EQ(obj.GetNumPoints(), 0u);
        double b[6] = {9e10, -9e10, 9e10, -9e10, 9e10, -9e10};
        obj.StretchBounds(b);
        EXPECT_EQ(b[0], 9e10);
    }
}

TEST(Surface, MissingFileIsReported) {
    DisplayListObject obj;
    std::string path = MakeTempDir() + "/surface-1.kav";
    LoadResult result = obj.LoadSurface(path.c_str());
    EXPECT_EQ(result.status, LoadStatus::kCannotOpen);
    EXPECT_EQ(result.message, "ERROR:: No such file or directory");
    EXPECT_EQ(obj.GetNumTris(), 0u);
}

TEST(ColorMap, CheckRows) {
    unsigned char map[kColorMapEntries * 4] = {};
    BuildColorMap(map);
    struct Row {
        int entry;
        unsigned char rgba[4];
    } rows[] = {{0, {0, 0, 255, 255}},      {512, {0, 127, 255, 255}},  {1023, {0, 254, 255, 255}},
                {1024, {0, 255, 255, 255}}, {2047, {0, 255, 0, 255}},   {2048, {0, 255, 0, 255}},
                {3071, {254, 255, 0, 255}}, {3072, {255, 255, 0, 255}}, {4095, {255, 0, 0, 255}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.entry);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(map[4 * r.entry + k], r.rgba[k]);
    }
}

TEST(ColorMap, TextureCoordinates) {
    EXPECT_EQ(DisplayListObject::TexCoord(10, 10, 20), 0.0f);
    EXPECT_EQ(DisplayListObject::TexCoord(20, 10, 20), 1.0f);
    EXPECT_EQ(DisplayListObject::TexCoord(25, 10, 20), 1.5f);  // no clamping
    EXPECT_EQ(DisplayListObject::TexCoord(7, 7, 7), 0.0f);     // empty range stays finite
    EXPECT_EQ(DisplayListObject::TexCoord(8, 7, 7), 0.0f);
}
