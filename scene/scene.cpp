#include "scene/scene.h"

#include <GL/gl.h>

#include <algorithm>

#include "scene/camera.h"

namespace {

// The widget plane's distance in front of the eye, per pixel of window height, under the
// 45-degree projection (the divisor approximates tan 22.5 degrees).
const double kWidgetDepthPerPixel = 0.5 / 0.414;
// Far plane used when no element contributes bounds.
const double kEmptySceneFar = 1000.0;

}  // namespace

bool BoundsEmpty(const double* bounds) {
    return bounds[0] > bounds[1];
}

double FarPlane(const double* bounds, float windowHeight) {
    double far = BoundsEmpty(bounds) ? kEmptySceneFar : 20.0 * bounds[5];
    double widgetDepth = kWidgetDepthPerPixel * std::max(windowHeight, 1.0f);
    return std::max(far, 2.0 * widgetDepth);
}

void PlaceStartView(const double* bounds, CameraObject* camera) {
    // Without any bounds the camera stays at the origin instead of flying 9e10 units away.
    float lift = 0.0f;
    if (!BoundsEmpty(bounds)) {
        // The focus starts on the ground at the middle of the data, wherever the data lie.
        camera->Position[0] = (float)(0.5 * (bounds[0] + bounds[1]));
        camera->Position[1] = (float)bounds[2];
        camera->Position[2] = (float)(0.5 * (bounds[4] + bounds[5]));
        lift = (float)(0.5 * (bounds[3] - bounds[2]));
    }
    camera->Rotate(-145, 18, 0);
    camera->Move(0, lift, 0);
}

void Scene::Add3dElement(VisualObject* object) {
    elements.insert(elements.begin(), object);
}

void Scene::AddUIElement(Widget* object) {
    object->SetWindowWidth(width);
    object->SetWindowHeight(height);
    object->SetFont(font);
    widgets.insert(widgets.begin(), object);
}

void Scene::GetBounds(double* bounds) const {
    for (VisualObject* e : elements) e->StretchBounds(bounds);
}

void Scene::SetWidth(float w) {
    width = w;
    for (Widget* widget : widgets) widget->SetWindowWidth(w);
}

void Scene::SetHeight(float h) {
    height = h;
    for (Widget* w : widgets) w->SetWindowHeight(h);
}

void Scene::InitGL() {
    const GLfloat light_diffuse[] = {0.4f, 0.4f, 0.4f, 1.0f};
    const GLfloat light_ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat light_posA[] = {0, 0, -5, 0};
    const GLfloat light_posB[] = {0, 0, 5, 0};
    double bounds[6] = BOUNDS_INIT;

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 0);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_1D);

    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_diffuse);
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
    glLightfv(GL_LIGHT0, GL_POSITION, light_posA);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, light_diffuse);
    glLightfv(GL_LIGHT1, GL_AMBIENT, light_ambient);
    glLightfv(GL_LIGHT1, GL_POSITION, light_posB);
    glEnable(GL_LIGHT1);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);

    for (VisualObject* e : elements) e->InitGL();
    GetBounds(bounds);
    PlaceStartView(bounds, camera);
}

void Scene::RenderScene() {
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_1D);
    glEnable(GL_DEPTH_TEST);

    glPushMatrix();
    camera->Place();
    for (VisualObject* e : elements) e->Render();
    glPopMatrix();
    glLoadIdentity();

    glTranslatef(-0.5f * width, -0.5f * height, (-0.5f * height) / 0.414f);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_DEPTH_TEST);
    for (Widget* w : widgets) w->Render();
}

bool Scene::LeftClick(int x, int y) {
    int flipped = (int)height - y;
    for (Widget* w : widgets) {
        if (w->ProcessClick(x, flipped)) return true;
    }
    return false;
}
