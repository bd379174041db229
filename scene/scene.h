// The frame: 3D elements drawn through the camera, then widgets in window pixels.
#pragma once

#include "scene/visual.h"
#include "scene/widget.h"

class CameraObject;

// Sentinel bounds that the first contributing element replaces.
#define BOUNDS_INIT \
    { 9.0e10, -9.0e10, 9.0e10, -9.0e10, 9.0e10, -9.0e10 }

typedef struct _VisualObjectListPtr {
    VisualObject* obj;
    struct _VisualObjectListPtr* next;
} VisualObjectListPtr;

typedef struct _WidgetListPtr {
    Widget* obj;
    struct _WidgetListPtr* next;
} WidgetListPtr;

class Scene {
public:
    Scene() : start_3d(nullptr), start_ui(nullptr), camera(nullptr), width(0), height(0) {}

    // Both lists grow at the head, so the newest element is drawn and asked first.
    void Add3dElement(VisualObject* object);
    void AddUIElement(Widget* object);
    void SetCamera(CameraObject* cam) { camera = cam; }
    CameraObject* GetCamera() const { return camera; }
    void GetBounds(double* bounds);
    void SetWidth(float w);
    void SetHeight(float h);

    void InitGL();
    void RenderScene();
    // Offers a click in window coordinates (y downward); true when a widget took it.
    bool LeftClick(int x, int y);

    const VisualObjectListPtr* First3d() const { return start_3d; }
    const WidgetListPtr* FirstUI() const { return start_ui; }

private:
    VisualObjectListPtr* start_3d;
    WidgetListPtr* start_ui;
    CameraObject* camera;
    float width;
    float height;
};

// True when no element widened the sentinel bounds (for example, no surface loaded).
bool BoundsEmpty(const double* bounds);
// Far plane of the projection: 20 x the scene's largest z, but never so near that the
// widget plane at (height / 2) / 0.414 in front of the eye is clipped away.
double FarPlane(const double* bounds, float windowHeight);
// The camera's start pose: focus at the centre of the bounds in x and z and at their lowest
// y (the origin without bounds), then turned by (-145, 18) degrees and lifted by half the
// bounds' height in its own axes.
void PlaceStartView(const double* bounds, CameraObject* camera);
