// Camera turns, pitch clamps, moves in the camera's axes and the look-at vectors.
#include <gtest/gtest.h>

#include "scene/camera.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(Camera, PitchIsClampedYawIsNot) {
    CameraObject cam;
    cam.Rotate(0, 100, 0);
    EXPECT_EQ(cam.Rotation[1], 1.5620697f);
    cam.Rotate(0, -200, 0);
    EXPECT_EQ(cam.Rotation[1], -1.5620697f);
    for (int i = 0; i < 1000; ++i) {
        cam.Rotate(0, 0.37f, 0);
        ASSERT_LE(cam.Rotation[1], 1.5620697f);
    }
    cam.Rotate(720, 0, 0);
    EXPECT_NEAR(cam.Rotation[0], 4 * 3.1415926f, 1e-5);
    cam.Rotate(0, 0, 0.25f);  // the third angle is taken as given, in radians
    EXPECT_EQ(cam.Rotation[2], 0.25f);
}

TEST(Camera, MovePrintsDirectionsAndShiftsTheFocus) {
    CameraObject cam;
    CaptureStdout();
    cam.Move(0, 0, 0);
    EXPECT_EQ(GetCapturedStdout(),
              "xdir = 0.000000, 0.000000, 0.000000\n"
              "ydir = 0.000000, 0.000000, 0.000000\n"
              "zdir = 0.000000, 0.000000, 0.000000\n"
              "dir = 0.000000, 0.000000, 0.000000\n");
    CaptureStdout();
    cam.Move(1, 2, 3);
    EXPECT_EQ(GetCapturedStdout(),
              "xdir = 1.000000, 0.000000, 0.000000\n"
              "ydir = 0.000000, 2.000000, 0.000000\n"
              "zdir = 0.000000, 0.000000, 3.000000\n"
              "dir = 1.000000, 2.000000, 3.000000\n");
    double pos[3];
    cam.GetPosition(pos);
    EXPECT_EQ(pos[0], 1.0);
    EXPECT_EQ(pos[2], 3.0);

    double eye[3], centre[3], up[3];
    cam.LookAt(eye, centre, up);
    EXPECT_EQ(eye[2], 3.0 - 300.0);
    EXPECT_EQ(centre[1], 2.0);
    EXPECT_EQ(up[1], 1.0);
}

TEST(Camera, TurnedCameraMovesAlongItsOwnAxes) {
    CameraObject cam;
    cam.Rotate(90, 0, 0);  // a quarter turn about y: the view axis +z turns to +x
    CaptureStdout();
    cam.Move(0, 0, 10);
    GetCapturedStdout();
    EXPECT_NEAR(cam.Position[0], 10, 1e-4);
    EXPECT_NEAR(cam.Position[2], 0, 1e-4);
    double eye[3], centre[3], up[3];
    cam.LookAt(eye, centre, up);
    EXPECT_NEAR(eye[0], 10 - 300, 1e-3);

    cam.GetPosition(eye);
    cam.Position[1] = 0.1f;
    cam.GetPosition(eye);
    EXPECT_EQ(eye[1], (double)0.1f);  // widened exactly, not rounded to 0.1
}
