#include "app/view.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "app/state.h"

bool FrameData(AppState& app) {
    double bounds[6] = BOUNDS_INIT;
    app.scene.GetBounds(bounds);
    Framing framing;
    if (!FrameBounds(bounds, app.camera, kFieldOfView, app.width, app.height, framing)) {
        return false;
    }
    for (int a = 0; a < 3; ++a) app.camera.Position[a] = (float)framing.focus[a];
    app.camera.SetDistance(framing.distance);
    app.framing = framing;
    app.framed = true;
    return true;
}

void ResetView(AppState& app) {
    double bounds[6] = BOUNDS_INIT;
    app.scene.GetBounds(bounds);
    app.camera.Reset();
    PlaceStartView(bounds, &app.camera);
    app.framed = false;
}

void ProjectionPlanes(const AppState& app, double* nearPlane, double* farPlane) {
    if (app.framed) {
        *nearPlane = app.framing.nearPlane;
        *farPlane = app.framing.farPlane;
        KeepWidgetPlane(app.height, nearPlane, farPlane);
        return;
    }
    double bounds[6] = BOUNDS_INIT;
    app.scene.GetBounds(bounds);
    *nearPlane = 1;
    *farPlane = FarPlane(bounds, (float)app.height);
}

void ApplyProjection(const AppState& app) {
    double nearPlane, farPlane;
    ProjectionPlanes(app, &nearPlane, &farPlane);
    // A minimised window reports height 0; keep the aspect ratio finite.
    const float aspect = (float)app.width / (float)(app.height > 0 ? app.height : 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, aspect, nearPlane, farPlane);
    glMatrixMode(GL_MODELVIEW);
}
