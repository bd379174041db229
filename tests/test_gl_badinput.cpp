// Drawing what malformed and odd data files leave behind, against a real OpenGL context:
// surfaces in every colouring and as wireframe, isosurfaces and path lines of odd volumes.
// The sanitizer build runs these under AddressSanitizer and UndefinedBehaviorSanitizer.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "badfiles.h"
#include "glwindow.h"
#include "scene/isosurface.h"
#include "scene/pathlineview.h"
#include "surface/colormap.h"
#include "surface/displaylist.h"
#include "volume/marchingtetra.h"
#include "volume/pathlinestarter.h"
#include "volume/tetravolume.h"

using namespace badfiles;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

testing::Environment* const window = testing::AddGlobalTestEnvironment(new GlWindow(64, 64));

template <typename Read>
void Load(const std::string& bytes, Read read) {
    std::string copy = bytes;
    FILE* f = fmemopen(&copy[0], copy.size(), "rb");
    CaptureStdout();
    CaptureStderr();
    read(f);
    GetCapturedStderr();
    GetCapturedStdout();
    fclose(f);
}

// Builds the lists in every colouring and draws them filled and as wireframe, as the city
// panel lets the user do; returns the number of display lists the model ends with.
unsigned DrawEveryWay(DisplayListObject& obj) {
    static unsigned char map[kColorMapEntries * 4];
    BuildColorMap(map);
    obj.LoadColorMap(map);
    for (DisplayListColor c : {colorEnergy, colorDensity, colorMomentum, colorNone}) {
        obj.SetColorMap(c);
        obj.InitGL();
        for (bool wire : {false, true}) {
            obj.SetWireframe(wire);
            obj.Render();
        }
    }
    glFinish();
    return obj.GetListCount();
}

void DrawVolume(TetrahedralVolume& vol) {
    Isosurface iso;
    TriangleStore store;
    PathLineGenerator lines;
    PathLineView view(lines);
    lines.SetVolume(&vol);
    lines.SetCount(2);
    lines.SetRadius(0.2);
    lines.SetGhostVisibility(true);
    const double start[3] = {0.1, 0.1, 0.1};
    lines.SetStart(start);
    CaptureStdout();
    for (FieldVar field : {fieldDensity, fieldEnergy, fieldMomentum}) {
        iso.SetField(field);
        iso.SetValue(1.5);
        ExtractIsosurface(vol, field, 1.5, &store);
        iso.Swap(store);
        iso.Render();
    }
    lines.Generate();
    GetCapturedStdout();
    view.Render();
    glFinish();
}

}  // namespace

TEST(BadInputGl, RefusedSurfacesHaveNoListsAndDrawNothing) {
    std::vector<BadFile> files = RefusedSurfaces();
    const std::string full = ReferenceSurface().Bytes();
    for (size_t size : {size_t(0), size_t(3), size_t(100), size_t(160), full.size() - 1})
        files.push_back({"cut at " + std::to_string(size), full.substr(0, size), ""});
    for (const BadFile& file : files) {
        SCOPED_TRACE(file.name);
        DisplayListObject obj;
        Load(file.bytes, [&](FILE* f) { obj.LoadStream(f, "surface-1.kav"); });
        EXPECT_EQ(DrawEveryWay(obj), 0u);
        EXPECT_EQ(obj.GetFirstList(), 0u);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
}

TEST(BadInputGl, OddSurfacesDrawInEveryColouring) {
    for (const BadFile& file : OddSurfaces()) {
        SCOPED_TRACE(file.name);
        DisplayListObject obj;
        Load(file.bytes, [&](FILE* f) { obj.LoadStream(f, "surface-1.kav"); });
        EXPECT_EQ(DrawEveryWay(obj), obj.GetNumTris() > 0 ? 1u : 0u);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
}

TEST(BadInputGl, IsosurfacesAndPathLinesOfOddOrRefusedVolumesDraw) {
    std::vector<BadFile> files = OddVolumes();
    for (const BadFile& file : RefusedVolumes()) files.push_back(file);
    for (const BadFile& file : files) {
        SCOPED_TRACE(file.name);
        TetrahedralVolume vol;
        Load(file.bytes, [&](FILE* f) { vol.ReadStream(f, "volume.kav"); });
        DrawVolume(vol);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
}
