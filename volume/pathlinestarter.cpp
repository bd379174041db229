#include "volume/pathlinestarter.h"

#include <GL/freeglut.h>

#include <cstdio>

#include "math/math.h"
#include "math/random.h"
#include "scene/camera.h"
#include "scene/scene.h"
#include "volume/pathline.h"

namespace {

// A uniform draw in [0, 1] at the generator's resolution.
double UnitDraw() {
    return RandomInt() / (double)kRandomMax;
}

}  // namespace

PathLineGenerator::PathLineGenerator()
    : genStart{-405, 10, -405},
      genCount(10),
      genRadius(50),
      ghost(false),
      anchored(true),
      genVol(nullptr),
      pathlines(nullptr),
      allocated(0) {}

PathLineGenerator::~PathLineGenerator() {
    Release();
}

void PathLineGenerator::SetStart(const double* position) {
    for (int a = 0; a < 3; ++a) genStart[a] = position[a];
}

void PathLineGenerator::GetStart(double* position) const {
    for (int a = 0; a < 3; ++a) position[a] = genStart[a];
}

void PathLineGenerator::Release() {
    delete[] pathlines;
    pathlines = nullptr;
    allocated = 0;
}

void PathLineGenerator::Generate() {
    Release();
    if (genCount < 1) return;
    pathlines = new PathLine[genCount];
    allocated = genCount;
    for (int i = 0; i < allocated; ++i) {
        printf("Generating pathline %i\n", i);
        // Four draws per line: distance, then the direction's x, y and z.
        double deltaR = UnitDraw() * genRadius;
        double vector[3];
        for (double& d : vector) d = UnitDraw();
        Normalize(vector);
        double seed[3];
        for (int a = 0; a < 3; ++a) seed[a] = genStart[a] + deltaR * vector[a];
        pathlines[i].SetStart(seed);
        pathlines[i].SetVolume(genVol);
        pathlines[i].Integrate();
    }
}

void PathLineGenerator::Render() {
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    // Before the element joins a scene with a camera there is nothing to follow.
    CameraObject* camera = scene ? scene->GetCamera() : nullptr;
    if (anchored && camera) camera->GetPosition(genStart);
    if (ghost) {
        glPushMatrix();
        glTranslated(genStart[0], genStart[1], genStart[2]);
        glColor4f(1, 0, 0, 0.5f);
        glutWireSphere(genRadius, 5, 5);
        glPopMatrix();
    }
    for (int i = 0; i < allocated; ++i) pathlines[i].Render();
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_1D);
}

void PathLineGenerator::StretchBounds(double* bounds) {
    (void)bounds;  // path lines stay inside the volume; they never widen the scene
}

void PathLineGenerator::InitGL() {}
