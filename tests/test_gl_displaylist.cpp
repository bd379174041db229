// Surface display lists and the colour-map texture, against a real OpenGL context.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "glwindow.h"
#include "surface/colormap.h"
#include "surface/displaylist.h"
#include "testutil.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

testing::Environment* const window = testing::AddGlobalTestEnvironment(new GlWindow(64, 64));

// A strip of `count` triangles, each with its own three vertices.
void LoadStrip(DisplayListObject& obj, uint32_t count) {
    SurfaceBytes s;
    s.minimum = MakeVertex(0, 0, 0, 0, 0);
    s.maximum = MakeVertex(count, 1, 0, 1, 1);
    for (uint32_t i = 0; i < count; ++i) {
        s.vertices.push_back(MakeVertex(i, 0, 0, 0, 0.5));
        s.vertices.push_back(MakeVertex(i + 1, 0, 0, 0, 0.5));
        s.vertices.push_back(MakeVertex(i, 1, 0, 0, 0.5));
        s.tris.push_back({{3 * i, 3 * i + 1, 3 * i + 2}, {0, 0, 1}});
    }
    LoadQuietly(s.Bytes(), [&](FILE* file) { obj.LoadStream(file, "strip"); });
}

GLint PolygonMode() {
    GLint mode[2];
    glGetIntegerv(GL_POLYGON_MODE, mode);
    return mode[0];
}

}  // namespace

TEST(SurfaceGl, ListsHoldAtMostTwentyThousandTriangles) {
    const uint32_t sizes[] = {1, 20000, 20001, 40000};
    const uint32_t lists[] = {1, 1, 2, 2};
    for (int i = 0; i < 4; ++i) {
        DisplayListObject obj;
        LoadStrip(obj, sizes[i]);
        obj.SetColorMap(colorEnergy);
        obj.InitGL();
        EXPECT_EQ(obj.GetListCount(), lists[i]) << sizes[i];
        for (uint32_t k = 0; k < lists[i]; ++k) EXPECT_TRUE(glIsList(obj.GetFirstList() + k));
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
}

TEST(SurfaceGl, ColouringChangesRebuildOnlyForAFlowVariable) {
    DisplayListObject obj;
    LoadStrip(obj, 3);
    obj.SetColorMap(colorEnergy);
    obj.InitGL();
    GLuint first = obj.GetFirstList();
    obj.SetColorMap(colorNone);
    obj.InitGL();
    EXPECT_EQ(obj.GetFirstList(), first);  // kept: texturing is simply switched off
    obj.SetColorMap(colorEnergy);
    obj.InitGL();
    EXPECT_TRUE(glIsList(obj.GetFirstList()));
    EXPECT_EQ(obj.GetListCount(), 1u);
}

TEST(SurfaceGl, RenderRestoresStateAndHiddenOrEmptyModelsTouchNothing) {
    unsigned char map[kColorMapEntries * 4];
    BuildColorMap(map);
    DisplayListObject obj;
    LoadStrip(obj, 2);
    obj.SetColorMap(colorEnergy);
    obj.LoadColorMap(map);
    GLuint tex = obj.GetTexture();
    obj.LoadColorMap(map);
    EXPECT_EQ(obj.GetTexture(), tex);  // a second upload reuses the texture name
    obj.InitGL();

    obj.SetWireframe(true);
    obj.Render();
    EXPECT_EQ(PolygonMode(), GL_FILL);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_1D, &bound);
    EXPECT_EQ(bound, 0);

    // A hidden model and a model without triangles leave even odd state alone.
    glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
    glBindTexture(GL_TEXTURE_1D, tex);
    obj.SetVisibility(false);
    obj.Render();
    DisplayListObject empty;
    empty.InitGL();
    empty.Render();
    EXPECT_EQ(empty.GetFirstList(), 0u);
    EXPECT_EQ(PolygonMode(), GL_POINT);
    glGetIntegerv(GL_TEXTURE_BINDING_1D, &bound);
    EXPECT_EQ(bound, (GLint)tex);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
