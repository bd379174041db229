// The control panels' arithmetic and labels, driven through their callbacks without a window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "app/ui.h"
#include "testutil.h"

// The program's globals, which the panels act on; the test fills them in.
CameraObject User;
Scene World;
DisplayListObject* context[4];
TetrahedralVolume* volume;
PathLineGenerator* pathline;
Isosurface* isosurface;

extern ButtonWidget *btnPLUICountShow, *btnPLUIRadiusShow, *btnIsoUIValShow, *btnIsoUIByDensity,
    *btnIsoUIByEnergy, *btnIsoUIByMomentum, *btnContextUIColorByNone, *btnContextUIColorByDensity,
    *btnContextUIColorByEnergy, *btnContextUIColorByMomentum;
extern CheckBoxWidget *btnPLUIShowGhost, *btnPLUIAnchored, *btnContextUIShowWall,
    *btnContextUIShowCity, *btnContextUIWireframe;

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// A one-tetrahedron volume whose header states the given ranges for all three fields.
TetrahedralVolume* VolumeWithRange(double lo, double hi) {
    VolumeBytes f;
    f.minimum = MakeVertex(0, 0, 0, lo, lo);
    f.maximum = MakeVertex(1, 1, 1, hi, hi);
    f.minimum.MomentumMag = lo;
    f.maximum.MomentumMag = hi;
    f.vertices = {MakeVertex(0, 0, 0), MakeVertex(1, 0, 0), MakeVertex(0, 1, 0),
                  MakeVertex(0, 0, 1)};
    f.blocks.push_back({{0, 1, 0, 1, 0, 1}, {0, 1, 2, 3}});
    static std::string bytes;
    bytes = f.Bytes();
    FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    TetrahedralVolume* v = new TetrahedralVolume();
    CaptureStdout();
    v->ReadStream(file, "volume.kav");
    GetCapturedStdout();
    fclose(file);
    return v;
}

class Panels : public testing::Test {
protected:
    static void SetUpTestSuite() {
        for (DisplayListObject*& c : context) {
            c = new DisplayListObject();  // empty: colouring changes issue no OpenGL call
            c->SetColorMap(colorEnergy);
        }
        pathline = new PathLineGenerator();
        isosurface = new Isosurface();
        BuildUI();
    }

    void SetUp() override {
        volume = VolumeWithRange(0, 10);
        pathline->SetVolume(volume);
        pathline->SetCount(10);
        pathline->SetRadius(50);
        isosurface->SetVolume(volume);
        isosurface->SetField(fieldMomentum);
        isosurface->SetValue(0);
    }

    void TearDown() override {
        delete volume;
        volume = nullptr;
    }
};

std::string Label(const ButtonWidget* b) {
    return b->GetText();
}

}  // namespace

TEST_F(Panels, BuiltInOrderAndOpenedFromTheMainMenu) {
    const WidgetListPtr* n = World.FirstUI();
    const Widget* expected[] = {&isosurfaceUI, &pathlineUI, &contextUI, &mainUI};
    for (const Widget* w : expected) {
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->obj, w);
        n = n->next;
    }
    EXPECT_EQ(mainUI.GetState(), viz_Showing);
    EXPECT_EQ(contextUI.GetState(), viz_Hidden);
    openContextUI();
    EXPECT_EQ(mainUI.GetState(), viz_Hiding);
    EXPECT_EQ(mainUI.GetReplacement(), &contextUI);
}

TEST_F(Panels, PathLineSteppersAndBoundedLabels) {
    openPathLineUI();
    EXPECT_EQ(Label(btnPLUICountShow), "10");
    EXPECT_EQ(Label(btnPLUIRadiusShow), "50.00");
    EXPECT_FALSE(btnPLUIShowGhost->GetState());
    EXPECT_TRUE(btnPLUIAnchored->GetState());

    pluiRadiusIncrement5();
    pluiRadiusDecrement();
    EXPECT_EQ(Label(btnPLUIRadiusShow), "54.75");
    for (int i = 0; i < 12; ++i) pluiCountDecrement();
    EXPECT_EQ(pathline->GetCount(), 0);  // stops at 0
    EXPECT_EQ(Label(btnPLUICountShow), "0");
    pluiCountIncrement();
    EXPECT_EQ(Label(btnPLUICountShow), "1");

    pathline->SetRadius(-1e30);  // "%.2f" would need 35 characters of a 15-character buffer
    pluiUpdate();
    EXPECT_EQ(Label(btnPLUIRadiusShow), "-1.0000e+30");
    pathline->SetRadius(99999999999.99);  // 14 characters: still fits as it is
    pluiUpdate();
    EXPECT_EQ(Label(btnPLUIRadiusShow), "99999999999.99");

    pluiShowGhost(true);
    EXPECT_TRUE(pathline->GetGhostVisibility());
    EXPECT_TRUE(btnPLUIShowGhost->GetState());
    pluiAnchor(false);
    EXPECT_FALSE(pathline->GetAnchor());
    pluiAnchor(true);
}

TEST_F(Panels, IsoValueStepsAreClampedToTheRange) {
    openIsosurfaceUI();
    EXPECT_EQ(Label(btnIsoUIByMomentum), ">> Contour Momentum");
    EXPECT_EQ(Label(btnIsoUIValShow), "0.000000");
    isouiValIncrement();
    EXPECT_EQ(Label(btnIsoUIValShow), "0.100000");
    isouiValDecrement5();
    EXPECT_EQ(isosurface->GetValue(), 0.0);  // "--" from the minimum stays there

    delete volume;
    volume = VolumeWithRange(2, 6);
    isoUIContourByEnergy();
    EXPECT_EQ(isosurface->GetValue(), 4.0);  // the middle of the range
    EXPECT_EQ(Label(btnIsoUIByEnergy), ">> Contour Energy");
    EXPECT_EQ(Label(btnIsoUIByMomentum), "Contour Momentum");
    isouiValIncrement();
    EXPECT_DOUBLE_EQ(isosurface->GetValue(), 4.04);
    for (int i = 0; i < 20; ++i) isouiValIncrement5();
    EXPECT_EQ(isosurface->GetValue(), 6.0);

    // The start value lies inside the range wherever the range lies: above half its
    // maximum, below zero, or a single value.
    const double ranges[][2] = {{1, 1.5}, {-30.9, 32.0}, {-8, -2}, {1.2, 1.2}};
    for (const auto& r : ranges) {
        delete volume;
        volume = VolumeWithRange(r[0], r[1]);
        isoUIContourByDensity();
        EXPECT_GE(isosurface->GetValue(), r[0]);
        EXPECT_LE(isosurface->GetValue(), r[1]);
        EXPECT_DOUBLE_EQ(isosurface->GetValue(), (r[0] + r[1]) / 2);
    }
}

TEST_F(Panels, HugeIsoValuesStayInsideTheLabel) {
    delete volume;
    volume = VolumeWithRange(-1e30, 1e30);
    isoUIContourByMomentum();
    isouiUpdate();
    EXPECT_EQ(Label(btnIsoUIValShow), "0.000000");
    isouiValIncrement5();  // 1e29 needs more than 31 characters with "%f"
    EXPECT_EQ(Label(btnIsoUIValShow), "1.000000e+29");
    for (int i = 0; i < 30; ++i) isouiValDecrement5();
    EXPECT_EQ(Label(btnIsoUIValShow), "-1.000000e+30");
}

TEST_F(Panels, CityColouringVisibilityAndWireframeFollowTheSurfaces) {
    openContextUI();
    EXPECT_EQ(Label(btnContextUIColorByEnergy), ">> Color By Energy");
    contextUIColorByDensity();
    EXPECT_EQ(Label(btnContextUIColorByDensity), ">> Color By Density");
    EXPECT_EQ(Label(btnContextUIColorByEnergy), "Color By Energy");
    for (DisplayListObject* c : context) EXPECT_EQ(c->GetColorMap(), colorDensity);
    contextUIColorByNone();
    EXPECT_EQ(Label(btnContextUIColorByNone), ">> No Color");

    contextUIShowWall(false);
    EXPECT_FALSE(context[0]->GetVisibility());
    EXPECT_TRUE(context[2]->GetVisibility());
    EXPECT_FALSE(btnContextUIShowWall->GetState());
    EXPECT_TRUE(btnContextUIShowCity->GetState());
    contextUIShowWall(true);

    contextUIWireframe(true);  // all four, hidden ones too
    for (DisplayListObject* c : context) EXPECT_TRUE(c->GetWireframe());
    EXPECT_TRUE(btnContextUIWireframe->GetState());
    contextUIWireframe(false);
    contextUIColorByEnergy();
}
