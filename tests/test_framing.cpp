// Framing the data: boxes from a 0.3 m model to a 10 km region, anywhere, seen from any
// direction and in any window shape, must fill the view without being clipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/camera.h"
#include "scene/framing.h"
#include "scene/scene.h"

namespace {

const double kFovY = 45;

struct View {
    double maxExtent;  // largest |x| or |y| of a corner in normalised device coordinates
    bool inside;       // every corner within the view volume, near and far planes included
};

// Projects the box's corners as gluPerspective and gluLookAt would, with the eye placed
// `distance` behind the framing's focus along the camera's view direction.
View Project(const double* bounds, const CameraObject& camera, const Framing& f, int w, int h) {
    double eye[3], centre[3], up[3];
    camera.LookAt(eye, centre, up);
    double fwd[3], len = 0;
    for (int i = 0; i < 3; ++i) len += (centre[i] - eye[i]) * (centre[i] - eye[i]);
    for (int i = 0; i < 3; ++i) fwd[i] = (centre[i] - eye[i]) / std::sqrt(len);
    const double right[3] = {fwd[1] * up[2] - fwd[2] * up[1], fwd[2] * up[0] - fwd[0] * up[2],
                             fwd[0] * up[1] - fwd[1] * up[0]};
    const double cot = 1 / std::tan(kFovY * M_PI / 360), aspect = (double)w / h;
    const double n = f.nearPlane, fa = f.farPlane;
    View v{0, true};
    for (int c = 0; c < 8; ++c) {
        double rel[3];
        for (int a = 0; a < 3; ++a) {
            const double p = bounds[2 * a + ((c >> a) & 1)];
            rel[a] = p - (f.focus[a] - f.distance * fwd[a]);
        }
        double x = 0, y = 0, depth = 0, rn = 0;
        for (int a = 0; a < 3; ++a) {
            x += rel[a] * right[a];
            y += rel[a] * up[a];
            depth += rel[a] * fwd[a];
            rn += right[a] * right[a];
        }
        x /= std::sqrt(rn);
        const double ndcX = cot / aspect * x / depth, ndcY = cot * y / depth;
        const double ndcZ = ((fa + n) * depth - 2 * fa * n) / ((fa - n) * depth);
        v.maxExtent = std::max({v.maxExtent, std::fabs(ndcX), std::fabs(ndcY)});
        v.inside = v.inside && depth > 0 && std::fabs(ndcX) <= 1 && std::fabs(ndcY) <= 1 &&
                   std::fabs(ndcZ) <= 1;
    }
    return v;
}

// A box of the given size centred at c.
void Box(double cx, double cy, double cz, double sx, double sy, double sz, double* b) {
    const double c[3] = {cx, cy, cz}, s[3] = {sx, sy, sz};
    for (int a = 0; a < 3; ++a) {
        b[2 * a] = c[a] - s[a] / 2;
        b[2 * a + 1] = c[a] + s[a] / 2;
    }
}

TEST(Framing, TinyAndHugeBoxesFillTheViewFromEveryDirection) {
    struct Case {
        const char* what;
        double bounds[6];
    } cases[2];
    Box(0.1, 0.05, -0.2, 0.3, 0.1, 0.2, cases[0].bounds);  // a 0.3 m wind-tunnel model
    cases[0].what = "tiny";
    Box(512000, 150, 4.1e6, 10000, 300, 8000, cases[1].bounds);  // 10 km, map coordinates
    cases[1].what = "huge";
    const float turns[][2] = {{-145, 18}, {0, 0}, {90, 0}, {30, 89.5f}, {200, -60}};
    const int windows[][2] = {{1024, 768}, {400, 900}, {1600, 400}};
    for (const Case& c : cases) {
        for (const auto& t : turns) {
            for (const auto& win : windows) {
                CameraObject camera;
                camera.Rotate(t[0], t[1], 0);
                Framing f;
                ASSERT_TRUE(FrameBounds(c.bounds, camera, kFovY, win[0], win[1], f));
                const View v = Project(c.bounds, camera, f, win[0], win[1]);
                SCOPED_TRACE(std::string(c.what) + " turned " + std::to_string(t[0]) + ", " +
                             std::to_string(t[1]) + " in " + std::to_string(win[0]) + " x " +
                             std::to_string(win[1]));
                EXPECT_TRUE(v.inside);
                EXPECT_GT(v.maxExtent, 0.85) << "the box should fill the view";
                EXPECT_LE(v.maxExtent, 0.9 + 1e-5);
                for (int a = 0; a < 3; ++a) {
                    EXPECT_DOUBLE_EQ(f.focus[a], 0.5 * (c.bounds[2 * a] + c.bounds[2 * a + 1]));
                }
                EXPECT_DOUBLE_EQ(f.scale, f.distance / kCameraDistance);
                // The widgets' plane, (h / 2) / 0.414 in front of the eye, stays drawn.
                const double widgets = 0.5 * win[1] / 0.414;
                EXPECT_LT(f.nearPlane, widgets);
                EXPECT_GT(f.farPlane, widgets);
            }
        }
    }
}

TEST(Framing, ScaleFollowsTheSizeOfTheData) {
    CameraObject camera;
    camera.Rotate(-145, 18, 0);
    double tiny[6], city[6], huge[6];
    Box(0, 0, 0, 0.3, 0.3, 0.3, tiny);
    Box(0, 0, 0, 300, 300, 300, city);
    Box(0, 0, 0, 10000, 10000, 10000, huge);
    Framing ft, fc, fh;
    ASSERT_TRUE(FrameBounds(tiny, camera, kFovY, 1024, 768, ft));
    ASSERT_TRUE(FrameBounds(city, camera, kFovY, 1024, 768, fc));
    ASSERT_TRUE(FrameBounds(huge, camera, kFovY, 1024, 768, fh));
    EXPECT_NEAR(fc.scale / ft.scale, 1000, 1e-6);
    EXPECT_NEAR(fh.scale / fc.scale, 10000.0 / 300, 1e-9);
    EXPECT_GT(fc.scale, 0.5);
    EXPECT_LT(fc.scale, 4);
}

TEST(Framing, FlatAndPointBoxesAndUnframeableInput) {
    CameraObject camera;
    camera.Rotate(-145, 18, 0);
    // A flat city seen edge-on, from an unturned camera, still lies in front of the eye.
    const CameraObject level;
    double flat[6];
    Box(5, 0, 5, 100, 0, 100, flat);
    Framing f;
    ASSERT_TRUE(FrameBounds(flat, level, kFovY, 1024, 768, f));
    const View edgeOn = Project(flat, level, f, 1024, 768);
    EXPECT_TRUE(edgeOn.inside);
    EXPECT_GT(edgeOn.maxExtent, 0.85);

    const double point[6] = {3, 3, 4, 4, 5, 5};
    ASSERT_TRUE(FrameBounds(point, camera, kFovY, 1024, 768, f));
    EXPECT_DOUBLE_EQ(f.distance, kCameraDistance);
    EXPECT_DOUBLE_EQ(f.scale, 1);
    EXPECT_DOUBLE_EQ(f.focus[2], 5);

    Framing untouched{{1, 2, 3}, 7, 8, 9, 10};
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    const double empty[6] = BOUNDS_INIT;
    const double withNan[6] = {0, 1, 0, nan, 0, 1};
    const double withInf[6] = {0, 1, -inf, 1, 0, 1};
    const double overflow[6] = {-1e308, 1.7e308, 0, 1, 0, 1};
    for (const double* b : {empty, withNan, withInf, overflow}) {
        EXPECT_FALSE(FrameBounds(b, camera, kFovY, 1024, 768, untouched));
    }
    EXPECT_FALSE(FrameBounds(point, camera, kFovY, 0, 768, untouched));
    EXPECT_FALSE(FrameBounds(point, camera, kFovY, 1024, 0, untouched));
    EXPECT_EQ(untouched.distance, 7);
    EXPECT_EQ(untouched.focus[0], 1);
}

}  // namespace
