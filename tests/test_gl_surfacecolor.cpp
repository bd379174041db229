// A colouring made on the worker thread and compiled at the next frame draws exactly what
// colouring inside the click drew.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "glwindow.h"
#include "surface/colormap.h"
#include "surface/displaylist.h"
#include "testutil.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const int kSize = 64;
testing::Environment* const window = testing::AddGlobalTestEnvironment(new GlWindow(kSize, kSize));

// A fan of triangles over the unit square whose energy runs over the whole header range.
void LoadFan(DisplayListObject& surface) {
    SurfaceBytes s;
    s.minimum = MakeVertex(0, 0, 0, 0, 10);
    s.maximum = MakeVertex(1, 1, 0, 1, 20);
    s.vertices.push_back(MakeVertex(0.5, 0.5, 0, 0, 15));
    const int kRim = 16;
    for (int i = 0; i <= kRim; ++i) {
        const double t = (double)i / kRim;
        const double x = i <= kRim / 2 ? 2 * t : 1, y = i <= kRim / 2 ? 0 : 2 * t - 1;
        s.vertices.push_back(MakeVertex(x, y, 0, 0, 10 + 10 * t));
    }
    s.vertices.push_back(MakeVertex(0, 1, 0, 0, 20));
    s.vertices.push_back(MakeVertex(0, 0, 0, 0, 10));
    for (uint32_t i = 1; i + 1 < (uint32_t)s.vertices.size(); ++i) {
        s.tris.push_back({{0, i, i + 1}, {0, 0, 1}});
    }
    LoadQuietly(s.Bytes(), [&](FILE* file) { surface.LoadStream(file, "fan"); });
}

std::vector<unsigned char> Draw(DisplayListObject& surface) {
    glViewport(0, 0, kSize, kSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    surface.Render();
    std::vector<unsigned char> pixels(3 * kSize * kSize);
    glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

}  // namespace

TEST(SurfaceColoringGl, CoordinatesMadeAheadCompileToTheSamePicture) {
    unsigned char map[kColorMapEntries * 4];
    BuildColorMap(map);
    DisplayListObject inClick, ahead;
    for (DisplayListObject* s : {&inClick, &ahead}) {
        LoadFan(*s);
        s->LoadColorMap(map);
        s->SetColorMap(colorDensity);
        s->InitGL();
    }
    inClick.SetColorMap(colorEnergy);
    inClick.InitGL();
    ahead.SetColoring(colorEnergy, ahead.ColorCoordinates(colorEnergy));
    ahead.InitGL();
    const std::vector<unsigned char> expected = Draw(inClick);
    EXPECT_EQ(Draw(ahead), expected);
    // The picture spans the map: blue at the low end, red at the high end.
    int blue = 0, red = 0;
    for (size_t i = 0; i < expected.size(); i += 3) {
        blue += expected[i] == 0 && expected[i + 1] < 64 && expected[i + 2] == 255;
        red += expected[i] == 255 && expected[i + 1] < 64 && expected[i + 2] == 0;
    }
    EXPECT_GT(blue, 20);
    EXPECT_GT(red, 20);

    // Without colouring the old lists stay, drawn untextured.
    const unsigned first = ahead.GetFirstList();
    ahead.SetColoring(colorNone, ahead.ColorCoordinates(colorNone));
    ahead.InitGL();
    EXPECT_EQ(ahead.GetFirstList(), first);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
