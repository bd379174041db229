// The control panels' arithmetic and labels, driven through their widgets without a window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/state.h"
#include "app/ui.h"
#include "testutil.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// A one-tetrahedron volume whose header states the given ranges for all three fields.
std::unique_ptr<TetrahedralVolume> VolumeWithRange(double lo, double hi) {
    VolumeBytes f;
    f.minimum = MakeVertex(0, 0, 0, lo, lo);
    f.maximum = MakeVertex(1, 1, 1, hi, hi);
    f.minimum.MomentumMag = lo;
    f.maximum.MomentumMag = hi;
    f.vertices = {MakeVertex(0, 0, 0), MakeVertex(1, 0, 0), MakeVertex(0, 1, 0),
                  MakeVertex(0, 0, 1)};
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3}});
    std::string bytes = f.Bytes();
    FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    auto v = std::make_unique<TetrahedralVolume>();
    CaptureStdout();
    v->ReadStream(file, "volume.kav");
    GetCapturedStdout();
    fclose(file);
    return v;
}

// A state of its own for each test: surfaces that never loaded (so colouring changes issue
// no OpenGL call), a volume with the range (0, 10), and the panels built.
class PanelTest : public testing::Test {
protected:
    void SetUp() override {
        for (DisplayListObject& surface : app.surfaces) surface.SetColorMap(colorEnergy);
        app.volume = VolumeWithRange(0, 10);
        app.pathlines.SetVolume(app.volume.get());
        BuildUI(app);
    }

    AppState app;
    MainMenu& mainUI = app.panels.mainUI;
    CityPanel& contextUI = app.panels.contextUI;
    PathLinePanel& pathlineUI = app.panels.pathlineUI;
    IsosurfacePanel& isosurfaceUI = app.panels.isosurfaceUI;
};

std::string Label(const ButtonWidget& b) {
    return b.GetText();
}

}  // namespace

TEST_F(PanelTest, BuiltInOrderAndOpenedFromTheMainMenu) {
    const std::vector<Widget*>& widgets = app.scene.GetWidgets();
    const std::vector<Widget*> expected = {&isosurfaceUI.panel, &pathlineUI.panel, &contextUI.panel,
                                           &mainUI.panel};
    EXPECT_EQ(widgets, expected);
    EXPECT_EQ(mainUI.panel.GetState(), viz_Showing);
    EXPECT_EQ(contextUI.panel.GetState(), viz_Hidden);
    mainUI.openCity.Press();
    EXPECT_EQ(mainUI.panel.GetState(), viz_Hiding);
    EXPECT_EQ(mainUI.panel.GetReplacement(), &contextUI.panel);
    EXPECT_FALSE(app.quit);
    mainUI.exit.Press();
    EXPECT_TRUE(app.quit);
}

TEST_F(PanelTest, PathLineSteppersAndBoundedLabels) {
    mainUI.openPathLines.Press();
    EXPECT_EQ(Label(pathlineUI.countShow), "10");
    EXPECT_EQ(Label(pathlineUI.radiusShow), "50.00");
    EXPECT_FALSE(pathlineUI.showGhost.GetState());
    EXPECT_TRUE(pathlineUI.anchored.GetState());

    pathlineUI.radiusInc5.Press();
    pathlineUI.radiusDec.Press();
    EXPECT_EQ(Label(pathlineUI.radiusShow), "54.75");
    for (int i = 0; i < 12; ++i) pathlineUI.countDec.Press();
    EXPECT_EQ(app.pathlines.GetCount(), 0);  // stops at 0
    EXPECT_EQ(Label(pathlineUI.countShow), "0");
    pathlineUI.countInc.Press();
    EXPECT_EQ(Label(pathlineUI.countShow), "1");

    app.pathlines.SetRadius(-1e30);  // "%.2f" would need 35 characters of a 15-character buffer
    pluiUpdate(app);
    EXPECT_EQ(Label(pathlineUI.radiusShow), "-1.0000e+30");
    app.pathlines.SetRadius(99999999999.99);  // 14 characters: still fits as it is
    pluiUpdate(app);
    EXPECT_EQ(Label(pathlineUI.radiusShow), "99999999999.99");

    pathlineUI.showGhost.Toggle();
    EXPECT_TRUE(app.pathlines.GetGhostVisibility());
    EXPECT_TRUE(pathlineUI.showGhost.GetState());
    pathlineUI.anchored.Toggle();
    EXPECT_FALSE(app.pathlines.GetAnchor());
    EXPECT_FALSE(pathlineUI.anchored.GetState());
}

TEST_F(PanelTest, IsoValueStepsAreClampedToTheRange) {
    mainUI.openIsosurface.Press();
    EXPECT_EQ(Label(isosurfaceUI.byMomentum), ">> Contour Momentum");
    EXPECT_EQ(Label(isosurfaceUI.valShow), "0.000000");
    isosurfaceUI.valInc.Press();
    EXPECT_EQ(Label(isosurfaceUI.valShow), "0.100000");
    isosurfaceUI.valDec5.Press();
    EXPECT_EQ(app.isosurface.GetValue(), 0.0);  // "--" from the minimum stays there

    app.volume = VolumeWithRange(2, 6);
    isosurfaceUI.byEnergy.Press();
    EXPECT_EQ(app.isosurface.GetValue(), 4.0);  // the middle of the range
    EXPECT_EQ(Label(isosurfaceUI.byEnergy), ">> Contour Energy");
    EXPECT_EQ(Label(isosurfaceUI.byMomentum), "Contour Momentum");
    isosurfaceUI.valInc.Press();
    EXPECT_DOUBLE_EQ(app.isosurface.GetValue(), 4.04);
    for (int i = 0; i < 20; ++i) isosurfaceUI.valInc5.Press();
    EXPECT_EQ(app.isosurface.GetValue(), 6.0);

    // The start value lies inside the range wherever the range lies: above half its
    // maximum, below zero, or a single value.
    const double ranges[][2] = {{1, 1.5}, {-30.9, 32.0}, {-8, -2}, {1.2, 1.2}};
    for (const auto& r : ranges) {
        app.volume = VolumeWithRange(r[0], r[1]);
        isosurfaceUI.byDensity.Press();
        EXPECT_GE(app.isosurface.GetValue(), r[0]);
        EXPECT_LE(app.isosurface.GetValue(), r[1]);
        EXPECT_DOUBLE_EQ(app.isosurface.GetValue(), (r[0] + r[1]) / 2);
    }
}

TEST_F(PanelTest, HugeIsoValuesStayInsideTheLabel) {
    app.volume = VolumeWithRange(-1e30, 1e30);
    isosurfaceUI.byMomentum.Press();
    EXPECT_EQ(Label(isosurfaceUI.valShow), "0.000000");
    isosurfaceUI.valInc5.Press();  // 1e29 needs more than 31 characters with "%f"
    EXPECT_EQ(Label(isosurfaceUI.valShow), "1.000000e+29");
    for (int i = 0; i < 30; ++i) isosurfaceUI.valDec5.Press();
    EXPECT_EQ(Label(isosurfaceUI.valShow), "-1.000000e+30");
}

TEST_F(PanelTest, GenerateAndClearActOnTheVolumeInTheState) {
    mainUI.openIsosurface.Press();
    isosurfaceUI.byMomentum.Press();  // 5: between the vertices' 0 and the header's 10
    CaptureStdout();
    isosurfaceUI.generate.Press();
    EXPECT_EQ(GetCapturedStdout(), "Block 1 processed.. 0 triangles added.\n");
    isosurfaceUI.clear.Press();
    EXPECT_TRUE(app.isosurface.GetTriangles().Empty());

    CaptureStdout();
    pathlineUI.generate.Press();
    std::string out = GetCapturedStdout();
    EXPECT_EQ(app.pathlines.GetLineCount(), 10);
    EXPECT_EQ(out.find("Generating pathline 0\n"), 0u);
}

TEST_F(PanelTest, CityColouringVisibilityAndWireframeFollowTheSurfaces) {
    mainUI.openCity.Press();
    EXPECT_EQ(Label(contextUI.colorEnergy), ">> Color By Energy");
    contextUI.colorDensity.Press();
    EXPECT_EQ(Label(contextUI.colorDensity), ">> Color By Density");
    EXPECT_EQ(Label(contextUI.colorEnergy), "Color By Energy");
    for (const DisplayListObject& c : app.surfaces) EXPECT_EQ(c.GetColorMap(), colorDensity);
    contextUI.colorNone.Press();
    EXPECT_EQ(Label(contextUI.colorNone), ">> No Color");

    contextUI.showWalls.Toggle();
    EXPECT_FALSE(app.surfaces[kSurfaceWalls].GetVisibility());
    EXPECT_TRUE(app.surfaces[kSurfaceCity].GetVisibility());
    EXPECT_FALSE(contextUI.showWalls.GetState());
    EXPECT_TRUE(contextUI.showCity.GetState());

    contextUI.wireframe.Toggle();  // all four, hidden ones too
    for (const DisplayListObject& c : app.surfaces) EXPECT_TRUE(c.GetWireframe());
    EXPECT_TRUE(contextUI.wireframe.GetState());
}

TEST_F(PanelTest, AnAnchoredSourceFollowsTheCameraFocusFrameByFrame) {
    double start[3];
    app.camera.Position[0] = 1.5f, app.camera.Position[1] = -2.25f, app.camera.Position[2] = 40;
    FollowView(app);
    app.pathlines.GetStart(start);
    EXPECT_EQ(start[0], 1.5);
    EXPECT_EQ(start[1], -2.25);
    EXPECT_EQ(start[2], 40);

    // Freed, the source stays where the camera last put it; anchored again, it jumps back.
    pathlineUI.anchored.SetState(true);
    pathlineUI.anchored.Toggle();
    app.camera.Position[0] = 99;
    FollowView(app);
    app.pathlines.GetStart(start);
    EXPECT_EQ(start[0], 1.5);
    pathlineUI.anchored.Toggle();
    FollowView(app);
    app.pathlines.GetStart(start);
    EXPECT_EQ(start[0], 99);
}
