// The control panels' arithmetic and labels, driven through their widgets without a window,
// and the work they hand to the worker thread: in order, shown at the next frame, cancelled
// by Esc, repeated by a held stepper. The worker runs, so the suites are named *Threads*.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "app/jobs.h"
#include "app/state.h"
#include "app/ui.h"
#include "app/view.h"
#include "testutil.h"
#include "volume/marchingtetra.h"

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
    auto v = std::make_unique<TetrahedralVolume>();
    LoadQuietly(f.Bytes(), [&](FILE* file) { v->ReadStream(file, "volume.kav"); });
    return v;
}

// Two blocks of one tetrahedron each, whose vertices run from 0 to 10 in every field, so
// that any value inside the range cuts both.
std::unique_ptr<TetrahedralVolume> CutVolume() {
    VolumeBytes f;
    f.minimum = MakeVertex(0, 0, 0, 0, 0, 0);
    f.maximum = MakeVertex(2, 1, 1, 10, 10, 10);
    f.vertices = {MakeVertex(0, 0, 0),
                  MakeVertex(1, 0, 0, 10, 10, 10),
                  MakeVertex(0, 1, 0, 10, 10, 10),
                  MakeVertex(0, 0, 1, 10, 10, 10),
                  MakeVertex(2, 0, 0),
                  MakeVertex(2, 1, 0, 10, 10, 10)};
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3}});
    f.blocks.push_back({{1, 2, 0, 1, 0, 1}, {4, 1, 5, 3}});
    auto v = std::make_unique<TetrahedralVolume>();
    LoadQuietly(f.Bytes(), [&](FILE* file) { v->ReadStream(file, "volume.kav"); });
    return v;
}

// A surface file's worth of one triangle spanning the box (x0..x1, y0..y1, z0..z1), whose
// header gives density the range (1, 3) and energy (-2, 6).
void LoadTriangle(DisplayListObject& surface, double x0, double x1, double y0, double y1, double z0,
                  double z1) {
    SurfaceBytes s;
    s.minimum = MakeVertex(x0, y0, z0, 1, -2);
    s.maximum = MakeVertex(x1, y1, z1, 3, 6);
    s.vertices = {MakeVertex(x0, y0, z0, 1, -2), MakeVertex(x1, y0, z1, 2, 2),
                  MakeVertex(x0, y1, z1, 3, 6)};
    s.tris.push_back({{0, 1, 2}, {0, 0, 1}});
    LoadQuietly(s.Bytes(), [&](FILE* file) { surface.LoadStream(file, "surface"); });
}

// Holds the worker until opened (or cancelled), so that the jobs behind it wait.
class Gate : public Job {
public:
    explicit Gate(std::atomic<bool>& open) : open(open) {}
    bool Run(Console, Progress* progress) override {
        while (!open && !progress->Cancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return !progress->Cancelled();
    }
    void Apply() override {}

private:
    std::atomic<bool>& open;
};

// Runs the work asked for so far to its end and shows the results, as the next frame would.
void Settle(AppState& app) {
    app.worker.WaitUntilIdle();
    ApplyFinished(app);
}

// A state of its own for each test: surfaces that never loaded (so colouring changes issue
// no OpenGL call), a volume with the range (0, 10), and the panels built.
class PanelThreads : public testing::Test {
protected:
    void SetUp() override {
        for (DisplayListObject& surface : app.surfaces) surface.SetColorMap(colorEnergy);
        app.volume = VolumeWithRange(0, 10);
        app.pathlines.SetVolume(app.volume.get());
        BuildUI(app);
    }

    // Opens the gates that tests put in front of the worker; it outlives the state, whose
    // worker may still be running a cancelled gate when a test ends.
    std::atomic<bool> open{false};
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

TEST_F(PanelThreads, BuiltInOrderAndOpenedFromTheMainMenu) {
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

TEST_F(PanelThreads, PathLineSteppersAndBoundedLabels) {
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

TEST_F(PanelThreads, IsoValueStepsAreClampedToTheRange) {
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

TEST_F(PanelThreads, HugeIsoValuesStayInsideTheLabel) {
    app.volume = VolumeWithRange(-1e30, 1e30);
    isosurfaceUI.byMomentum.Press();
    EXPECT_EQ(Label(isosurfaceUI.valShow), "0.000000");
    isosurfaceUI.valInc5.Press();  // 1e29 needs more than 31 characters with "%f"
    EXPECT_EQ(Label(isosurfaceUI.valShow), "1.000000e+29");
    for (int i = 0; i < 30; ++i) isosurfaceUI.valDec5.Press();
    EXPECT_EQ(Label(isosurfaceUI.valShow), "-1.000000e+30");
}

TEST_F(PanelThreads, GenerateAndClearRunOnTheWorkerAndShowAtTheNextFrame) {
    mainUI.openIsosurface.Press();
    isosurfaceUI.byMomentum.Press();  // 5: between the vertices' 0 and the header's 10
    CaptureStdout();
    isosurfaceUI.generate.Press();
    app.worker.WaitUntilIdle();
    EXPECT_EQ(GetCapturedStdout(), "");  // printed with the result, at the next frame
    CaptureStdout();
    ApplyFinished(app);
    EXPECT_EQ(GetCapturedStdout(), "Block 1 processed.. 0 triangles added.\n");

    app.volume = CutVolume();
    app.pathlines.SetVolume(app.volume.get());
    isosurfaceUI.generate.Press();
    Settle(app);
    EXPECT_EQ(app.isosurface.GetTriangles().Size(), 2u);
    isosurfaceUI.clear.Press();
    EXPECT_EQ(app.isosurface.GetTriangles().Size(), 2u);  // in its turn, after the work before
    Settle(app);
    EXPECT_TRUE(app.isosurface.GetTriangles().Empty());

    CaptureStdout();
    pathlineUI.generate.Press();
    Settle(app);
    std::string out = GetCapturedStdout();
    EXPECT_EQ(app.pathlines.GetLineCount(), 10);
    EXPECT_EQ(out.find("Generating pathline 0\n"), 0u);
}

TEST_F(PanelThreads, RequestsWaitForEachOtherAndPrintWholeInTheirOrder) {
    app.volume = CutVolume();
    app.pathlines.SetVolume(app.volume.get());
    app.worker.Submit(std::make_unique<Gate>(open));
    mainUI.openCity.Press();
    isosurfaceUI.byEnergy.Press();  // 5
    isosurfaceUI.generate.Press();
    for (int i = 0; i < 8; ++i) pathlineUI.countDec.Press();
    pathlineUI.generate.Press();  // two lines
    contextUI.colorDensity.Press();
    isosurfaceUI.valInc5.Press();  // the second extraction is at 5.5: the first keeps its 5
    isosurfaceUI.generate.Press();
    CaptureStdout();
    ApplyFinished(app);
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(app.surfaces[0].GetColorMap(), colorEnergy);
    EXPECT_EQ(Label(contextUI.colorEnergy), ">> Color By Energy");

    open = true;
    CaptureStdout();
    Settle(app);
    const std::string out = GetCapturedStdout();
    const std::string blocks =
        "Block 1 processed.. 1 triangles added.\nBlock 2 processed.. 1 triangles added.\n";
    ASSERT_EQ(out.rfind(blocks, 0), 0u) << out;
    const size_t lines = out.find("Generating pathline 0\n");
    EXPECT_EQ(lines, blocks.size());
    const size_t second = out.find("Generating pathline 1\n");
    EXPECT_NE(second, std::string::npos);
    EXPECT_EQ(out.substr(out.size() - blocks.size()), blocks);
    EXPECT_EQ(out.find("Block", lines), out.size() - blocks.size());
    EXPECT_EQ(app.pathlines.GetLineCount(), 2);
    EXPECT_EQ(app.surfaces[0].GetColorMap(), colorDensity);
    EXPECT_EQ(Label(contextUI.colorDensity), ">> Color By Density");

    // The surface shown is the last one asked for, at 5.5.
    TriangleStore expected;
    std::string ignored;
    ExtractIsosurface(*app.volume, fieldEnergy, 5.5, &expected, Console(&ignored));
    ASSERT_EQ(app.isosurface.GetTriangles().Size(), expected.Size());
    EXPECT_EQ(app.isosurface.GetTriangles()[0].point[0][0], expected[0].point[0][0]);
}

TEST_F(PanelThreads, EscCancelsTheRunningAndWaitingWorkAndKeepsWhatWasShown) {
    app.volume = CutVolume();
    app.pathlines.SetVolume(app.volume.get());
    mainUI.openIsosurface.Press();
    isosurfaceUI.byDensity.Press();
    isosurfaceUI.generate.Press();
    Settle(app);
    const Triangle shown = app.isosurface.GetTriangles()[0];

    app.worker.Submit(std::make_unique<Gate>(open));
    isosurfaceUI.valInc5.Press();
    isosurfaceUI.generate.Press();
    pathlineUI.generate.Press();
    contextUI.colorMomentum.Press();
    CaptureStdout();
    CancelWork(app);
    EXPECT_EQ(GetCapturedStdout(), "Cancelled.\n");
    CaptureStdout();
    Settle(app);
    CancelWork(app);  // nothing left to cancel
    EXPECT_EQ(GetCapturedStdout(), "");
    ASSERT_EQ(app.isosurface.GetTriangles().Size(), 2u);
    EXPECT_EQ(app.isosurface.GetTriangles()[0].point[1][1], shown.point[1][1]);
    EXPECT_EQ(app.pathlines.GetLineCount(), 0);
    EXPECT_EQ(app.surfaces[0].GetColorMap(), colorEnergy);

    // Work that was done before Esc still shows, ahead of the "Cancelled." line.
    isosurfaceUI.generate.Press();
    app.worker.WaitUntilIdle();
    open = false;
    app.worker.Submit(std::make_unique<Gate>(open));
    CaptureStdout();
    CancelWork(app);
    EXPECT_EQ(GetCapturedStdout(),
              "Block 1 processed.. 1 triangles added.\nBlock 2 processed.. 1 triangles added.\n"
              "Cancelled.\n");
    EXPECT_NE(app.isosurface.GetTriangles()[0].point[1][1], shown.point[1][1]);
}

TEST_F(PanelThreads, AHeldStepperRepeatsAndItsStepsMergeIntoTheNextExtraction) {
    app.volume = CutVolume();
    mainUI.openIsosurface.Press();
    isosurfaceUI.byEnergy.Press();  // 5
    app.panels.isosurfaceUI.panel.Show();
    for (int i = 0; i < 9; ++i) app.panels.isosurfaceUI.panel.Render();  // fully in
    ASSERT_TRUE(app.panels.isosurfaceUI.panel.Visible());

    // A click steps once and extracts nothing.
    isosurfaceUI.valInc.Press();
    EXPECT_DOUBLE_EQ(app.isosurface.GetValue(), 5.1);
    EXPECT_FALSE(app.worker.Busy());
    app.hold.Press(1000, 0.01);  // as if that click came at 1000 ms
    RepeatHeldStep(app, 1400);
    EXPECT_FALSE(app.worker.Busy());
    EXPECT_DOUBLE_EQ(app.isosurface.GetValue(), 5.1);

    // Held on, it steps five times a second; the steps made while the worker is busy go into
    // one extraction at the newest value.
    app.worker.Submit(std::make_unique<Gate>(open));
    for (int64_t t = 1401; t <= 2201; t += 200) RepeatHeldStep(app, t);
    EXPECT_DOUBLE_EQ(app.isosurface.GetValue(), 5.6);
    EXPECT_EQ(Label(isosurfaceUI.valShow), "5.600000");
    isosurfaceUI.generate.Press();  // a Generate stays apart, and so does the live job after it
    RepeatHeldStep(app, 2401);
    open = true;
    CaptureStdout();
    Settle(app);
    const std::string out = GetCapturedStdout();
    size_t extractions = 0;
    for (size_t at = out.find("Block 1 "); at != std::string::npos;
         at = out.find("Block 1 ", at + 1)) {
        ++extractions;
    }
    EXPECT_EQ(extractions, 3u) << out;
    TriangleStore expected;
    std::string ignored;
    ExtractIsosurface(*app.volume, fieldEnergy, 5.7, &expected, Console(&ignored));
    ASSERT_EQ(app.isosurface.GetTriangles().Size(), expected.Size());
    EXPECT_EQ(app.isosurface.GetTriangles()[1].point[2][0], expected[1].point[2][0]);

    // Let go, or with the panel gone, nothing more repeats.
    app.hold.Release();
    RepeatHeldStep(app, 5000);
    isosurfaceUI.valDec.Press();
    app.panels.isosurfaceUI.panel.Hide();
    RepeatHeldStep(app, 1e9);
    EXPECT_FALSE(app.worker.Busy());
    EXPECT_DOUBLE_EQ(app.isosurface.GetValue(), 5.6);
}

TEST_F(PanelThreads, TheLegendShowsTheColouringsNameAndTheSurfacesHeaderRange) {
    UpdateLegend(app);
    EXPECT_FALSE(app.legend.GetShown());  // no surface loaded: nothing to label
    LoadTriangle(app.surfaces[kSurfaceCity], 0, 1, 0, 1, 0, 1);
    for (DisplayListObject& surface : app.surfaces) surface.SetColorMap(colorDensity);
    UpdateLegend(app);
    EXPECT_TRUE(app.legend.GetShown());
    EXPECT_STREQ(app.legend.GetName(), "Density");
    EXPECT_STREQ(app.legend.GetLabel(0), "1");
    EXPECT_STREQ(app.legend.GetLabel(2), "2");
    EXPECT_STREQ(app.legend.GetLabel(4), "3");
    for (DisplayListObject& surface : app.surfaces) surface.SetColorMap(colorEnergy);
    UpdateLegend(app);
    EXPECT_STREQ(app.legend.GetName(), "Energy");
    EXPECT_STREQ(app.legend.GetLabel(0), "-2");
    EXPECT_STREQ(app.legend.GetLabel(4), "6");
    for (DisplayListObject& surface : app.surfaces) surface.SetColorMap(colorNone);
    UpdateLegend(app);
    EXPECT_FALSE(app.legend.GetShown());
}

TEST_F(PanelThreads, FramingFitsTheDataAndScalesDragsAndResetGoesBackToTheStart) {
    DisplayListObject tiny;
    LoadTriangle(tiny, 100, 100.3, 0, 0.1, -5, -4.8);  // a 0.3 m model away from the origin
    app.scene.Add3dElement(&tiny);
    app.width = 1024;
    app.height = 768;
    double bounds[6] = BOUNDS_INIT;
    app.scene.GetBounds(bounds);
    CameraObject start;
    CaptureStdout();
    PlaceStartView(bounds, &start);
    const std::string startLines = GetCapturedStdout();
    CaptureStdout();
    PlaceStartView(bounds, &app.camera);
    GetCapturedStdout();

    CaptureStdout();
    ASSERT_TRUE(FrameData(app));
    EXPECT_EQ(GetCapturedStdout(), "");  // f calls no Move
    EXPECT_FLOAT_EQ(app.camera.Position[0], 100.15f);
    EXPECT_FLOAT_EQ(app.camera.Position[1], 0.05f);
    EXPECT_FLOAT_EQ(app.camera.Position[2], -4.9f);
    EXPECT_GT(app.camera.GetDistance(), 0.1);
    EXPECT_LT(app.camera.GetDistance(), 2);
    EXPECT_FLOAT_EQ(app.camera.DragScale(), (float)(app.camera.GetDistance() / 300));
    EXPECT_EQ(app.camera.Rotation[0], start.Rotation[0]);  // the direction stays
    double nearPlane, farPlane;
    ProjectionPlanes(app, &nearPlane, &farPlane);
    EXPECT_EQ(nearPlane, app.framing.nearPlane);
    EXPECT_EQ(farPlane, app.framing.farPlane);
    EXPECT_LT(nearPlane, app.camera.GetDistance());
    app.height = 3000;  // a taller window after framing: its widget plane stays in range
    ProjectionPlanes(app, &nearPlane, &farPlane);
    EXPECT_GE(farPlane, 3000 * 0.5 / 0.414);

    CaptureStdout();
    ResetView(app);
    EXPECT_EQ(GetCapturedStdout(), startLines);  // r: the start-up Move lines again
    EXPECT_EQ(app.camera.GetDistance(), 300);
    EXPECT_EQ(app.camera.DragScale(), 1.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(app.camera.Position[i], start.Position[i]);
        EXPECT_EQ(app.camera.Rotation[i], start.Rotation[i]);
    }
    ProjectionPlanes(app, &nearPlane, &farPlane);
    EXPECT_EQ(nearPlane, 1);
    EXPECT_EQ(farPlane, FarPlane(bounds, 3000));

    // Without data there is nothing to frame: the camera stays as it is.
    AppState empty;
    empty.width = 1024;
    empty.height = 768;
    empty.camera.Position[0] = 7;
    EXPECT_FALSE(FrameData(empty));
    EXPECT_EQ(empty.camera.Position[0], 7);
    EXPECT_FALSE(empty.framed);
}

TEST_F(PanelThreads, CityColouringVisibilityAndWireframeFollowTheSurfaces) {
    mainUI.openCity.Press();
    EXPECT_EQ(Label(contextUI.colorEnergy), ">> Color By Energy");
    contextUI.colorDensity.Press();
    Settle(app);
    EXPECT_EQ(Label(contextUI.colorDensity), ">> Color By Density");
    EXPECT_EQ(Label(contextUI.colorEnergy), "Color By Energy");
    for (const DisplayListObject& c : app.surfaces) EXPECT_EQ(c.GetColorMap(), colorDensity);
    contextUI.colorNone.Press();
    Settle(app);
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

TEST_F(PanelThreads, AnAnchoredSourceFollowsTheCameraFocusFrameByFrame) {
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

TEST(HoldRepeat, RepeatsAfterMoreThanFourTenthsThenFiveTimesASecond) {
    HoldRepeat hold;
    EXPECT_EQ(hold.StepsDue(1000), 0);  // nothing held
    hold.Press(1000, -0.05);
    EXPECT_TRUE(hold.Held());
    EXPECT_EQ(hold.Step(), -0.05);
    EXPECT_EQ(hold.StepsDue(1399), 0);
    EXPECT_EQ(hold.StepsDue(1400), 0);  // more than 0.4 s, not exactly
    EXPECT_EQ(hold.StepsDue(1401), 1);
    EXPECT_EQ(hold.StepsDue(1500), 0);
    EXPECT_EQ(hold.StepsDue(1601), 1);
    EXPECT_EQ(hold.StepsDue(2201), 3);  // a late frame makes up for the missed repeats...
    EXPECT_EQ(hold.StepsDue(9000), kHoldCatchUp);  // ... up to a point
    EXPECT_EQ(hold.StepsDue(9100), 1);             // and the rate goes on from the last one due
    EXPECT_EQ(hold.StepsDue(9200), 0);
    hold.Release();
    EXPECT_EQ(hold.StepsDue(20000), 0);
    hold.Press(20000, 0.01);  // a new press waits the pause again
    EXPECT_EQ(hold.StepsDue(20300), 0);
}
