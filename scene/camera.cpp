#include "scene/camera.h"

#include <GL/glu.h>

#include <cstdio>

#include "math/math.h"

namespace {

// Vertical turns stop 0.5 degrees short of straight up or down, where the view would flip.
const float kPitchLimit = 1.5620697f;
const float kDegToRad = 3.1415926f / 180;

}  // namespace

CameraObject::CameraObject() : Rotation{0, 0, 0}, Position{0, 0, 0}, distance(kCameraDistance) {}

void CameraObject::Reset() {
    *this = CameraObject();
}

float CameraObject::DragScale() const {
    return (float)(distance / kCameraDistance);
}

void CameraObject::Rotate(float x, float y, float z) {
    Rotation[0] += x * kDegToRad;
    float t = Rotation[1] + y * kDegToRad;
    if (!(t < kPitchLimit)) t = kPitchLimit;
    if (!(t > -kPitchLimit)) t = -kPitchLimit;
    Rotation[1] = t;
    Rotation[2] += z;
}

void CameraObject::Move(float x, float y, float z) {
    QUAT q;
    EulerToQuat(Rotation[1], Rotation[0], Rotation[2], &q);
    float xDir[4] = {x, 0, 0, 1}, yDir[4] = {0, y, 0, 1}, zDir[4] = {0, 0, z, 1};
    rotateVecByQuat(xDir, q);
    rotateVecByQuat(yDir, q);
    rotateVecByQuat(zDir, q);
    printf("xdir = %f, %f, %f\n", xDir[0], xDir[1], xDir[2]);
    printf("ydir = %f, %f, %f\n", yDir[0], yDir[1], yDir[2]);
    printf("zdir = %f, %f, %f\n", zDir[0], zDir[1], zDir[2]);
    float dir[3];
    for (int i = 0; i < 3; ++i) dir[i] = xDir[i] + yDir[i] + zDir[i];
    printf("dir = %f, %f, %f\n", dir[0], dir[1], dir[2]);
    for (int i = 0; i < 3; ++i) Position[i] += dir[i];
}

void CameraObject::LookAt(double* eye, double* centre, double* up) const {
    QUAT q;
    EulerToQuat(Rotation[1], Rotation[0], Rotation[2], &q);
    // Rotated in single precision as the usual 300 always was; float keeps its relative
    // precision at any distance framing chooses.
    float lookat[4] = {0, 0, (float)distance, 1}, upDir[4] = {0, 1, 0, 1};
    rotateVecByQuat(lookat, q);
    rotateVecByQuat(upDir, q);
    for (int i = 0; i < 3; ++i) {
        eye[i] = Position[i] - lookat[i];
        centre[i] = Position[i];
        up[i] = upDir[i];
    }
}

void CameraObject::Place() {
    double eye[3], centre[3], up[3];
    LookAt(eye, centre, up);
    gluLookAt(eye[0], eye[1], eye[2], centre[0], centre[1], centre[2], up[0], up[1], up[2]);
}

void CameraObject::GetPosition(double* pos) const {
    for (int i = 0; i < 3; ++i) pos[i] = Position[i];
}
