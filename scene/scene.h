// The frame: 3D elements drawn through the camera, then widgets in window pixels.
#pragma once

#include <vector>

#include "scene/visual.h"
#include "scene/widget.h"

class BitmapFont;
class CameraObject;

// Sentinel bounds that the first contributing element replaces.
#define BOUNDS_INIT \
    { 9.0e10, -9.0e10, 9.0e10, -9.0e10, 9.0e10, -9.0e10 }

// Holds its elements without owning them. Both lists run newest first, in drawing order;
// clicks go to the widgets in that order too.
class Scene {
public:
    // The newest element goes to the front of its list.
    void Add3dElement(VisualObject* object);
    void AddUIElement(Widget* object);
    void SetCamera(CameraObject* cam) { camera = cam; }
    CameraObject* GetCamera() const { return camera; }
    // The font the widgets draw their text in, handed to every widget added after this.
    void SetFont(BitmapFont* f) { font = f; }
    void GetBounds(double* bounds) const;
    void SetWidth(float w);
    void SetHeight(float h);

    void InitGL();
    void RenderScene();
    // Offers a click in window coordinates (y downward); true when a widget took it.
    bool LeftClick(int x, int y);

    const std::vector<VisualObject*>& Get3dElements() const { return elements; }
    const std::vector<Widget*>& GetWidgets() const { return widgets; }

private:
    std::vector<VisualObject*> elements;  // newest first
    std::vector<Widget*> widgets;         // newest first
    CameraObject* camera = nullptr;
    BitmapFont* font = nullptr;
    float width = 0;
    float height = 0;
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
