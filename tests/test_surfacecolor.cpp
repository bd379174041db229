// The colouring of a surface computed apart from OpenGL: every vertex's texture coordinate
// from the header's range, made on any thread while the surface is in use.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "surface/displaylist.h"
#include "testutil.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// Four vertices; the header gives density (0, 8), energy (-4, 4) and momentum (2, 2).
void Load(DisplayListObject& surface) {
    SurfaceBytes s;
    s.minimum = MakeVertex(0, 0, 0, 0, -4, 2);
    s.maximum = MakeVertex(1, 1, 0, 8, 4, 2);
    s.vertices = {MakeVertex(0, 0, 0, 0, -4, 2), MakeVertex(1, 0, 0, 8, 4, 2),
                  MakeVertex(0, 1, 0, 2, 0, 2), MakeVertex(1, 1, 0, 10, -6, 2)};
    s.tris = {{{0, 1, 2}, {0, 0, 1}}, {{1, 3, 2}, {0, 0, 1}}};
    LoadQuietly(s.Bytes(), [&](FILE* file) { surface.LoadStream(file, "surface"); });
}

}  // namespace

TEST(SurfaceColoring, OneCoordinatePerVertexFromTheHeadersRange) {
    DisplayListObject surface;
    EXPECT_TRUE(surface.ColorCoordinates(colorDensity).empty());  // nothing loaded
    Load(surface);
    EXPECT_EQ(surface.ColorCoordinates(colorDensity), (std::vector<float>{0, 1, 0.25f, 1.25f}));
    EXPECT_EQ(surface.ColorCoordinates(colorEnergy), (std::vector<float>{0, 1, 0.5f, -0.25f}));
    // An empty range maps every vertex to the first colour instead of dividing by zero.
    EXPECT_EQ(surface.ColorCoordinates(colorMomentum), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_TRUE(surface.ColorCoordinates(colorNone).empty());

    double range[2];
    ASSERT_TRUE(surface.GetColorRange(colorEnergy, range));
    EXPECT_EQ(range[0], -4);
    EXPECT_EQ(range[1], 4);
    EXPECT_FALSE(surface.GetColorRange(colorNone, range));

    surface.SetColoring(colorDensity, surface.ColorCoordinates(colorDensity));
    EXPECT_EQ(surface.GetColorMap(), colorDensity);
}

TEST(SurfaceColoringThreads, CoordinatesAreMadeWhileTheSurfaceIsInUse) {
    DisplayListObject surface;
    Load(surface);
    const std::vector<float> expected = surface.ColorCoordinates(colorEnergy);
    std::vector<std::vector<float>> made(4);
    std::vector<std::thread> threads;
    for (auto& m : made) {
        threads.emplace_back([&surface, &m] {
            for (int i = 0; i < 1000; ++i) m = surface.ColorCoordinates(colorEnergy);
        });
    }
    // Meanwhile the panels switch what only drawing reads.
    for (int i = 0; i < 1000; ++i) {
        surface.SetVisibility(i % 2 == 0);
        surface.SetWireframe(i % 3 == 0);
    }
    for (std::thread& t : threads) t.join();
    for (const auto& m : made) EXPECT_EQ(m, expected);
}
