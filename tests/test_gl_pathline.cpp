// The path lines drawn into a real window and read back with glReadPixels: the white line
// strips, the red source marker, and the lighting and texturing state they leave behind.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "glwindow.h"
#include "scene/pathlineview.h"
#include "testutil.h"
#include "tetmesh.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/tetravolume.h"

namespace {

const int kSize = 200;

testing::Environment* const window = testing::AddGlobalTestEnvironment(new GlWindow(kSize, kSize));

// Clears to black and looks at the box [x0, x1] x [y0, y1] of the plane z = 0 from +z.
void Frame(double x0, double x1, double y0, double y1) {
    glViewport(0, 0, kSize, kSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(x0, x1, y0, y1, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

struct Pixels {
    int white = 0, red = 0, other = 0;
};

Pixels Read() {
    std::vector<unsigned char> rgb(kSize * kSize * 3);
    glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    Pixels p;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        int r = rgb[i], g = rgb[i + 1], b = rgb[i + 2];
        if (r == 255 && g == 255 && b == 255) {
            ++p.white;
        } else if (r > 100 && g == 0 && b == 0) {
            ++p.red;
        } else if (r || g || b) {
            ++p.other;
        }
    }
    return p;
}

// A bar of 15 unit cubes along x with a steady momentum of 0.9 along x.
VolumeBytes Bar() {
    GridMesh g;
    g.n[0] = 15, g.n[1] = 1, g.n[2] = 1;
    g.jitter = 0;
    g.blocks[0] = g.blocks[1] = g.blocks[2] = 1;
    g.momentum = [](const double*, double* m) { m[0] = 0.9, m[1] = m[2] = 0; };
    return g.Build();
}

}  // namespace

TEST(PathLineDrawing, LinesAreWhiteStripsAndAnEmptyLineDrawsNothing) {
    TetrahedralVolume vol;
    LoadBytes(vol, Bar().Bytes());
    PathLineGenerator gen;
    PathLineView view(gen);
    gen.SetVolume(&vol);
    gen.Anchor(false);
    const double source[3] = {1, 0.25, 0.25};
    gen.SetStart(source);
    gen.SetRadius(0.3);
    gen.SetCount(3);
    {
        StdoutToFile quiet;
        gen.Generate();
    }
    Frame(0, 16, -7.5, 8.5);
    PathLineGenerator none;  // no lines yet
    PathLineView(none).Render();
    Pixels empty = Read();
    EXPECT_EQ(empty.white + empty.red + empty.other, 0);

    view.Render();
    Pixels lines = Read();
    EXPECT_GT(lines.white, 150);  // three lines about 14 units (175 pixels) long
    EXPECT_EQ(lines.red, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(PathLineDrawing, SourceMarkerIsARedWireSphereOfTheRadius) {
    PathLineGenerator gen;
    PathLineView view(gen);
    gen.Anchor(false);
    const double source[3] = {0, 0, 0};
    gen.SetStart(source);
    gen.SetRadius(1);
    Frame(-2, 2, -2, 2);
    view.Render();
    EXPECT_EQ(Read().red, 0);  // hidden by default

    gen.SetGhostVisibility(true);
    view.Render();
    Pixels sphere = Read();
    EXPECT_GT(sphere.red, 50);
    EXPECT_EQ(sphere.white, 0);
    // Half transparent: over black with blending, a wire drawn k times over itself (front
    // and back of the sphere coincide in this view) gives red 255 (1 - 0.5^k), never full.
    Frame(-2, 2, -2, 2);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    view.Render();
    glDisable(GL_BLEND);
    int drawn = 0;
    std::vector<unsigned char> rgb(kSize * kSize * 3);
    glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    for (size_t i = 0; i < rgb.size(); i += 3) {
        if (rgb[i] == 0) continue;
        ++drawn;
        bool layered = false;
        for (int k = 1; k <= 6; ++k) layered |= std::abs(rgb[i] - 255 * (1 - std::pow(0.5, k))) < 2;
        ASSERT_TRUE(layered) << (int)rgb[i];
        EXPECT_EQ(rgb[i + 1] + rgb[i + 2], 0);
    }
    EXPECT_GT(drawn, 50);
}

TEST(PathLineDrawing, DrawingLeavesLightingAndTexturingOnAndTheSourceAlone) {
    PathLineGenerator gen;
    PathLineView view(gen);
    gen.SetGhostVisibility(true);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    view.Render();
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_1D));
    double start[3];
    gen.GetStart(start);  // drawing never moves the source, anchored or not
    EXPECT_EQ(start[0], -405);
    EXPECT_EQ(start[1], 10);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
}
