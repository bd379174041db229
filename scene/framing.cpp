#include "scene/framing.h"

#include <algorithm>
#include <cmath>

#include "scene/camera.h"
#include "scene/scene.h"

namespace {

const double kFill = 0.9;         // share of the view the box spans
const double kNearGap = 0.05;     // every corner at least this share of the box in front
const double kRoomBehind = 10;    // the far plane leaves room to fly this many boxes away
const double kDepthRatio = 1e-5;  // near plane at least this share of the far plane
// Widgets are drawn on a plane this far in front of the eye per pixel of window height.
const double kWidgetDepthPerPixel = 0.5 / 0.414;
const double kPi = 3.14159265358979323846;

double Dot(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void Normalize(double* v) {
    const double n = std::sqrt(Dot(v, v));
    for (int i = 0; i < 3; ++i) v[i] /= n;
}

// The camera's unit axes: right, up and forward (towards the focus).
void CameraAxes(const CameraObject& camera, double* right, double* up, double* forward) {
    double eye[3], centre[3];
    camera.LookAt(eye, centre, up);
    for (int i = 0; i < 3; ++i) forward[i] = centre[i] - eye[i];
    Normalize(forward);
    const double along = Dot(up, forward);
    for (int i = 0; i < 3; ++i) up[i] -= along * forward[i];
    Normalize(up);
    right[0] = forward[1] * up[2] - forward[2] * up[1];
    right[1] = forward[2] * up[0] - forward[0] * up[2];
    right[2] = forward[0] * up[1] - forward[1] * up[0];
}

bool Frameable(const double* bounds) {
    for (int i = 0; i < 6; ++i) {
        if (!std::isfinite(bounds[i])) return false;
    }
    return !BoundsEmpty(bounds);
}

}  // namespace

bool FrameBounds(const double* bounds, const CameraObject& camera, double fovYDegrees,
                 int windowWidth, int windowHeight, Framing& framing) {
    if (!Frameable(bounds) || windowWidth <= 0 || windowHeight <= 0) return false;
    double right[3], up[3], forward[3];
    CameraAxes(camera, right, up, forward);
    const double tanV = std::tan(fovYDegrees * kPi / 360) * kFill;
    const double tanH = tanV * windowWidth / windowHeight;

    double focus[3], size[3];
    for (int a = 0; a < 3; ++a) {
        focus[a] = 0.5 * (bounds[2 * a] + bounds[2 * a + 1]);
        size[a] = bounds[2 * a + 1] - bounds[2 * a];
    }
    const double diagonal = std::sqrt(Dot(size, size));

    // Each corner bounds the distance from below: it must lie inside the view's width and
    // height at its own depth, and some way in front of the eye.
    double distance = diagonal > 0 ? 0 : kCameraDistance;
    double depths[8];
    for (int c = 0; c < 8; ++c) {
        double v[3];
        for (int a = 0; a < 3; ++a) v[a] = bounds[2 * a + ((c >> a) & 1)] - focus[a];
        const double x = Dot(v, right), y = Dot(v, up), z = Dot(v, forward);
        depths[c] = z;
        distance = std::max(
            {distance, std::fabs(x) / tanH - z, std::fabs(y) / tanV - z, kNearGap * diagonal - z});
    }
    double nearest = depths[0], farthest = depths[0];
    for (double z : depths) {
        nearest = std::min(nearest, z);
        farthest = std::max(farthest, z);
    }
    double farPlane = distance + farthest + kRoomBehind * diagonal;
    double nearPlane = 0.5 * (distance + nearest);
    KeepWidgetPlane(windowHeight, &nearPlane, &farPlane);
    // Boxes near the limits of double precision overflow on the way.
    if (!std::isfinite(farPlane)) return false;

    for (int a = 0; a < 3; ++a) framing.focus[a] = focus[a];
    framing.distance = distance;
    framing.scale = distance / kCameraDistance;
    framing.nearPlane = nearPlane;
    framing.farPlane = farPlane;
    return true;
}

void KeepWidgetPlane(int windowHeight, double* nearPlane, double* farPlane) {
    const double widgetDepth = kWidgetDepthPerPixel * windowHeight;
    *farPlane = std::max(*farPlane, 2 * widgetDepth);
    *nearPlane = std::min(std::max(*nearPlane, kDepthRatio * *farPlane), 0.5 * widgetDepth);
}
