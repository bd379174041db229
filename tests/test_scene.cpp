// Scene list order, bounds, widget sizes, click routing and the projection's far plane.
#include <gtest/gtest.h>

#include <vector>

#include "scene/camera.h"
#include "scene/scene.h"

namespace {

// A 3D element that widens bounds by a fixed box and logs its calls.
struct Box : VisualObject {
    Box(std::vector<int>* log, int id, double lo, double hi) : log(log), id(id), lo(lo), hi(hi) {}
    void StretchBounds(double* b) override {
        log->push_back(id);
        for (int a = 0; a < 3; ++a) {
            if (b[2 * a] > lo) b[2 * a] = lo;
            if (b[2 * a + 1] < hi) b[2 * a + 1] = hi;
        }
    }
    std::vector<int>* log;
    int id;
    double lo, hi;
};

// A widget that takes clicks inside a rectangle and records where they arrived.
struct Taker : Widget {
    Taker(int x0, int x1, int y0, int y1) : x0(x0), x1(x1), y0(y0), y1(y1) {}
    bool ProcessClick(int x, int y) override {
        lastX = x, lastY = y;
        return Within(x, y, x0, x1, y0, y1);
    }
    bool Hit(int x, int y) { return Within(x, y, x0, x1, y0, y1); }
    int x0, x1, y0, y1;
    int lastX = -1, lastY = -1;
};

}  // namespace

TEST(Scene, ListsRunNewestFirst) {
    std::vector<int> log;
    Scene scene;
    Box a(&log, 1, 0, 1), b(&log, 2, -5, 0), c(&log, 3, 2, 7);
    scene.Add3dElement(&a);
    scene.Add3dElement(&b);
    scene.Add3dElement(&c);
    double bounds[6] = BOUNDS_INIT;
    scene.GetBounds(bounds);
    EXPECT_EQ(log, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(bounds[0], -5.0);
    EXPECT_EQ(bounds[5], 7.0);

    Widget w1, w2;
    scene.AddUIElement(&w1);
    scene.AddUIElement(&w2);
    EXPECT_EQ(scene.GetWidgets(), (std::vector<Widget*>{&w2, &w1}));
    EXPECT_EQ(scene.Get3dElements(), (std::vector<VisualObject*>{&c, &b, &a}));
}

TEST(Scene, BoundsWithoutContributorsStaySentinels) {
    Scene scene;
    VisualObject silent;
    scene.Add3dElement(&silent);
    double bounds[6] = BOUNDS_INIT;
    scene.GetBounds(bounds);
    EXPECT_EQ(bounds[0], 9.0e10);
    EXPECT_EQ(bounds[5], -9.0e10);
    EXPECT_TRUE(BoundsEmpty(bounds));
}

TEST(Scene, WidgetSizesFollowTheWindow) {
    Scene scene;
    Widget early;
    EXPECT_EQ(early.GetWindowWidth(), -1);
    scene.AddUIElement(&early);
    EXPECT_EQ(early.GetWindowWidth(), 0);
    EXPECT_EQ(early.GetWindowHeight(), 0);
    scene.SetWidth(1024);
    scene.SetHeight(768);
    EXPECT_EQ(early.GetWindowWidth(), 1024);
    EXPECT_EQ(early.GetWindowHeight(), 768);
    Widget late;
    scene.AddUIElement(&late);
    EXPECT_EQ(late.GetWindowHeight(), 768);
}

TEST(Scene, ClicksAreFlippedAndGoToTheNewestTaker) {
    Scene scene;
    scene.SetHeight(768);
    Widget nothing;
    EXPECT_FALSE(nothing.ProcessClick(5, 5));
    Taker under(0, 100, 0, 30), over(50, 200, 0, 30);
    scene.AddUIElement(&nothing);
    scene.AddUIElement(&under);
    scene.AddUIElement(&over);
    EXPECT_TRUE(scene.LeftClick(60, 767));  // bottom row arrives as y = 1
    EXPECT_EQ(over.lastY, 1);
    EXPECT_EQ(under.lastY, -1);  // never asked: the newer widget took it
    EXPECT_TRUE(scene.LeftClick(10, 740));
    EXPECT_EQ(under.lastY, 28);
    EXPECT_FALSE(scene.LeftClick(300, 10));

    EXPECT_TRUE(under.Hit(0, 0));
    EXPECT_TRUE(under.Hit(100, 30));
    EXPECT_FALSE(under.Hit(101, 30));
    EXPECT_FALSE(under.Hit(50, 31));
    EXPECT_FALSE(under.Hit(-1, 0));
}

TEST(Scene, FarPlaneKeepsTheWidgetPlaneVisible) {
    double city[6] = {-500, 500, 0, 250, -500, 500};
    EXPECT_EQ(FarPlane(city, 768), 10000.0);
    double shallow[6] = {0, 1, 0, 1, -10, 2};  // 20 x 2 = 40 would clip the widgets
    EXPECT_GT(FarPlane(shallow, 768), 0.5 * 768 / 0.414);
    double empty[6] = BOUNDS_INIT;
    EXPECT_GT(FarPlane(empty, 768), 0.5 * 768 / 0.414);
    EXPECT_GT(FarPlane(empty, 0), 1.0);  // a minimised window still gets a valid frustum
}

TEST(Scene, StartViewLooksAtTheMiddleOfTheData) {
    // The demo city's bounds: centred on x = z = 0 with the ground at y = 0.
    CameraObject centred, offset, empty, reference;
    const double city[6] = {-500, 500, 0, 250, -500, 500};
    PlaceStartView(city, &centred);
    reference.Rotate(-145, 18, 0);
    reference.Move(0, 125, 0);
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(centred.Position[a], reference.Position[a]);
        EXPECT_EQ(centred.Rotation[a], reference.Rotation[a]);
    }

    // Data spanning 0..1000 on x and z, 10..40 on y: the same turn and lift, from the
    // ground at the middle of the data.
    const double corner[6] = {0, 1000, 10, 40, 0, 1000};
    PlaceStartView(corner, &offset);
    CameraObject lift;
    lift.Rotate(-145, 18, 0);
    lift.Move(0, 15, 0);
    EXPECT_FLOAT_EQ(offset.Position[0], 500 + lift.Position[0]);
    EXPECT_FLOAT_EQ(offset.Position[1], 10 + lift.Position[1]);
    EXPECT_FLOAT_EQ(offset.Position[2], 500 + lift.Position[2]);

    // No bounds: the focus stays at the origin and is not lifted.
    double none[6] = BOUNDS_INIT;
    PlaceStartView(none, &empty);
    for (float p : empty.Position) EXPECT_EQ(p, 0.0f);
    EXPECT_EQ(empty.Rotation[1], reference.Rotation[1]);
}
