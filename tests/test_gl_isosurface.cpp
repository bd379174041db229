// Drawing the isosurface against a real OpenGL context: its state handling, and the compiled
// display lists drawing the same picture as the triangles drawn one by one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "glwindow.h"
#include "scene/isosurface.h"

namespace {

const int kSize = 96;

testing::Environment* const window = testing::AddGlobalTestEnvironment(new GlWindow(kSize, kSize));

// The scene's lit, textured 3D state, looking down -z at the unit square.
void SceneState() {
    const GLfloat diffuse[] = {0.4f, 0.4f, 0.4f, 1.0f};
    const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat fromFront[] = {0.3f, 0.5f, 5, 0};
    glViewport(0, 0, kSize, kSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.2, 1.2, -1.2, 1.2, -5, 5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_POSITION, fromFront);
    glEnable(GL_TEXTURE_1D);
}

// Adds to the surface shown a wavy sheet of `n` x `n` quads (2 n^2 triangles) with varying
// normals, so that both the geometry and the lighting show in the picture.
void AddSheet(Isosurface& iso, int n, double phase) {
    TriangleStore store = iso.GetTriangles();
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            double p[4][3];
            for (int c = 0; c < 4; ++c) {
                double x = -1 + 2.0 * (i + (c & 1)) / n, y = -1 + 2.0 * (j + (c >> 1)) / n;
                p[c][0] = x, p[c][1] = y, p[c][2] = 0.4 * std::sin(3 * x + phase) * std::cos(2 * y);
            }
            store.Add(p[0], p[1], p[3]);
            store.Add(p[0], p[3], p[2]);
        }
    }
    iso.Swap(store);
}

std::vector<unsigned char> Frame(void (*draw)(Isosurface&), Isosurface& iso) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SceneState();
    draw(iso);
    glFinish();
    std::vector<unsigned char> pixels(kSize * kSize * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void RenderIso(Isosurface& iso) {
    iso.Render();
}

// The triangles drawn one by one from the list, in the surface's colour as the material.
void DrawImmediate(Isosurface& iso) {
    const GLfloat colour[] = {0.0f, 0.7f, 0.7f, 1.0f};
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1.0f}, diffuse[] = {0.8f, 0.8f, 0.8f, 1.0f};
    glDisable(GL_TEXTURE_1D);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, colour);
    glColor4fv(colour);
    glBegin(GL_TRIANGLES);
    const TriangleStore& store = iso.GetTriangles();
    for (size_t i = store.Size(); i-- > 0;) {  // newest first
        glNormal3dv(store[i].normal);
        for (const Vector& p : store[i].point) glVertex3dv(p);
    }
    glEnd();
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glEnable(GL_TEXTURE_1D);
}

size_t LitPixels(const std::vector<unsigned char>& pixels) {
    size_t lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i + 1] != 0;
    return lit;
}

}  // namespace

TEST(IsosurfaceGl, AnEmptySurfaceMakesNoCall) {
    Isosurface iso;
    // Inside glBegin/glEnd any state change or list command is an error, so a clean error
    // state afterwards shows that nothing but (at most) vertex data was issued...
    glBegin(GL_POINTS);
    iso.Render();
    glEnd();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    // ...and the texture switch and the current colour stay as they were.
    glDisable(GL_TEXTURE_1D);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    iso.Render();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_1D));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.1f);
    EXPECT_FLOAT_EQ(colour[3], 0.4f);
    EXPECT_EQ(iso.GetListCount(), 0);
}

TEST(IsosurfaceGl, CompiledListsDrawTheSamePictureAndRestoreTheTexture) {
    Isosurface iso;
    AddSheet(iso, 40, 0.0);
    std::vector<unsigned char> direct = Frame(DrawImmediate, iso);
    std::vector<unsigned char> listed = Frame(RenderIso, iso);
    EXPECT_GT(LitPixels(direct), (size_t)(kSize * kSize / 4));
    EXPECT_TRUE(direct == listed);
    EXPECT_EQ(iso.GetListCount(), 1);
    EXPECT_TRUE(glIsList(iso.GetFirstList()));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_1D));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[1], 0.7f);
    EXPECT_FLOAT_EQ(colour[3], 1.0f);
    // The lit surface shows its own colour (no red, green equal to blue), and the rest of the
    // scene gets the default material back.
    size_t cyan = 0;
    for (size_t i = 0; i < listed.size(); i += 4) {
        if (listed[i + 1] == 0) continue;
        EXPECT_EQ(listed[i], 0);
        EXPECT_EQ(listed[i + 1], listed[i + 2]);
        ++cyan;
    }
    EXPECT_GT(cyan, 0u);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    GLfloat diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[0], 0.8f);
    // Later frames call the same lists.
    GLuint first = iso.GetFirstList();
    EXPECT_TRUE(Frame(RenderIso, iso) == direct);
    EXPECT_EQ(iso.GetFirstList(), first);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(IsosurfaceGl, ALargeSurfaceSpansSeveralListsInOrder) {
    Isosurface iso;
    AddSheet(iso, 200, 0.5);  // 80 000 triangles
    std::vector<unsigned char> direct = Frame(DrawImmediate, iso);
    EXPECT_TRUE(Frame(RenderIso, iso) == direct);
    EXPECT_EQ(iso.GetListCount(), 2);
    for (int i = 0; i < iso.GetListCount(); ++i) EXPECT_TRUE(glIsList(iso.GetFirstList() + i));
}

TEST(IsosurfaceGl, AChangedSurfaceIsRecompiledAndAPurgedOneFreesItsLists) {
    Isosurface iso;
    AddSheet(iso, 20, 0.0);
    std::vector<unsigned char> before = Frame(RenderIso, iso);
    GLuint old = iso.GetFirstList();
    ASSERT_TRUE(glIsList(old));

    iso.PurgeIsosurface();
    AddSheet(iso, 20, 1.5);
    std::vector<unsigned char> after = Frame(RenderIso, iso);
    EXPECT_FALSE(before == after);
    EXPECT_TRUE(after == Frame(DrawImmediate, iso));

    // Triangles added to a drawn surface show at the next frame too.
    Frame(RenderIso, iso);
    AddSheet(iso, 20, 3.0);
    EXPECT_TRUE(Frame(RenderIso, iso) == Frame(DrawImmediate, iso));

    // Purged: the next Render releases the lists and touches no drawing state.
    GLuint current = iso.GetFirstList();
    iso.PurgeIsosurface();
    glDisable(GL_TEXTURE_1D);
    iso.Render();
    EXPECT_FALSE(glIsList(current));
    EXPECT_EQ(iso.GetListCount(), 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_1D));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
