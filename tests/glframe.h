// Frames drawn the way the viewer draws them and read back pixel by pixel, for the tests of
// the widgets and overlays.
#pragma once

#include <GL/glu.h>

#include <cstdlib>
#include <ostream>
#include <vector>

#include "scene/camera.h"
#include "scene/scene.h"
#include "widgets/glfont.h"

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

inline bool Near(const Rgb& a, const Rgb& b, int tolerance = 1) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// The back buffer after a frame; pixel (x, y) from the bottom-left corner.
class Frame {
public:
    Frame(int width, int height) : width(width), height(height), data(3 * width * height) {
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, data.data());
    }
    Rgb At(int x, int y) const {
        const unsigned char* p = &data[3 * (y * width + x)];
        return {p[0], p[1], p[2]};
    }
    // Pixels of exactly this colour in [x0, x1) x [y0, y1), clipped to the frame.
    int Count(const Rgb& c, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) n += At(x, y) == c;
        return n;
    }
    int Count(const Rgb& c) const { return Count(c, 0, 0, width, height); }
    // Positions of the pixels of this colour, as one mask over the frame.
    std::vector<bool> Mask(const Rgb& c) const {
        std::vector<bool> mask(width * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) mask[y * width + x] = At(x, y) == c;
        return mask;
    }
    // Pixels that differ from c in [x0, x1) x [y0, y1).
    int CountOther(const Rgb& c, int x0, int y0, int x1, int y1) const {
        return (std::min(x1, width) - std::max(x0, 0)) * (std::min(y1, height) - std::max(y0, 0)) -
               Count(c, x0, y0, x1, y1);
    }

    const int width, height;

private:
    std::vector<unsigned char> data;
};

// Draws one frame of scene in a window of the given size as the viewer does: the 45-degree
// projection of a resize, then the 3D pass and the widget pass. The scene's widgets are
// told the window is sceneWidth x sceneHeight (by default the window's own size).
inline Frame DrawFrame(Scene& scene, int width, int height, const Rgb& clear, int sceneWidth = 0,
                       int sceneHeight = 0) {
    double bounds[6] = BOUNDS_INIT;
    scene.SetWidth((float)(sceneWidth ? sceneWidth : width));
    scene.SetHeight((float)(sceneHeight ? sceneHeight : height));
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, (double)width / height, 1, FarPlane(bounds, (float)height));
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(clear.r / 255.0f, clear.g / 255.0f, clear.b / 255.0f, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene.RenderScene();
    glFinish();
    return Frame(width, height);
}

// The one font of the window's context, which every test scene draws with.
inline BitmapFont& TestFont() {
    static BitmapFont font;
    return font;
}

// A scene holding the given widgets, with its own camera, drawn in a window of
// width x height.
template <int width, int height>
struct TestSceneIn {
    CameraObject camera;
    Scene scene;
    explicit TestSceneIn(std::initializer_list<Widget*> widgets) {
        scene.SetCamera(&camera);
        scene.SetFont(&TestFont());
        for (Widget* w : widgets) scene.AddUIElement(w);
    }
    Frame Draw(const Rgb& clear = Rgb{0, 0, 0}) { return DrawFrame(scene, width, height, clear); }
    // With the widgets told the window is sceneWidth x sceneHeight.
    Frame Draw(int sceneWidth, int sceneHeight) {
        return DrawFrame(scene, width, height, Rgb{0, 0, 0}, sceneWidth, sceneHeight);
    }
};
