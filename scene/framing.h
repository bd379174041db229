// Framing the data: where the camera looks and how far back its eye sits so that a box of
// data fills the view from the camera's current direction, whatever the box's size.
#pragma once

#include "scene/camera.h"

struct Framing {
    double focus[3];   // the box's centre
    double distance;   // eye to focus along the view direction, world units
    double scale;      // distance / kCameraDistance: the factor for the eye distance and for
                       // the speed of moving drags (turning drags keep theirs)
    double nearPlane;  // a depth range holding the whole box and the widget plane, for
    double farPlane;   // the projection, in world units in front of the eye
};

// Frames bounds (min x, max x, min y, max y, min z, max z) as seen in the camera's current
// direction, through a vertical field of view in degrees, in a window of the given size:
// the box's corners fill 90% of the tighter of the view's width and height. A box of no
// size keeps the usual distance. False, leaving framing untouched, for empty or non-finite
// bounds, bounds too large to frame in double precision, or a window without area.
bool FrameBounds(const double* bounds, const CameraObject& camera, double fovYDegrees,
                 int windowWidth, int windowHeight, Framing& framing);

// Fits a depth range to the widget plane of a window this tall (which it must hold) and to
// the depth buffer (the near plane no nearer than a small share of the far one), as
// FrameBounds does for the window it frames in; for a window resized after framing.
void KeepWidgetPlane(int windowHeight, double* nearPlane, double* farPlane);
