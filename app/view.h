// The camera's two shortcuts, f (frame the data) and r (back to the start pose), and the
// projection that goes with each.
#pragma once

struct AppState;

// Vertical field of view of the projection, degrees.
const double kFieldOfView = 45;

// Looks at the centre of the scene's bounds from the camera's current direction, from as
// far as makes the bounds fit the window; from then on moving drags scale with that
// distance. False, changing nothing, without bounds to frame.
bool FrameData(AppState& app);
// The start pose of the camera again (its Move lines printed as at start-up), at the usual
// distance and drag speed.
void ResetView(AppState& app);
// The depth range of the projection: near 1 and far from the scene's height as usual, or,
// after FrameData, the framing's range fitted to the current window.
void ProjectionPlanes(const AppState& app, double* nearPlane, double* farPlane);
// Loads the projection for the current window size and depth range.
void ApplyProjection(const AppState& app);
