// Frames per second drawing an isosurface: the triangles issued one by one in immediate mode,
// side by side with Isosurface::Render, which compiles them into display lists once.
// Usage (needs a display; run it under tests/with-xvfb):
//   bench_isosurface_draw [VOLUME_FILE] [FRAMES]
// FRAMES frames per round, four alternating rounds per side; the best round counts.
// Always measures a lit wavy sheet of 2 000 000 triangles; with a volume file also the
// momentum isosurface of that volume at its median.
#include <GL/freeglut.h>
#include <GL/glu.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "scene/isosurface.h"
#include "volume/marchingtetra.h"
#include "volume/tetravolume.h"

namespace {

const int kWidth = 1024, kHeight = 768;
const int kRounds = 4;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The scene's 3D state: two directional lights, depth test, smooth shading, the colour-map
// texture switched on, and a camera that sees the box `bounds` whole.
void SceneState(const double* bounds) {
    const GLfloat diffuse[] = {0.4f, 0.4f, 0.4f, 1.0f};
    const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat posA[] = {0, 0, -5, 0};
    const GLfloat posB[] = {0, 0, 5, 0};
    glViewport(0, 0, kWidth, kHeight);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_1D);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_POSITION, posA);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_POSITION, posB);
    glEnable(GL_LIGHT1);

    double centre[3], radius = 0;
    for (int a = 0; a < 3; ++a) {
        centre[a] = 0.5 * (bounds[2 * a] + bounds[2 * a + 1]);
        radius = std::max(radius, 0.5 * (bounds[2 * a + 1] - bounds[2 * a]));
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, (double)kWidth / kHeight, radius * 0.1, radius * 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(centre[0] + 1.2 * radius, centre[1] + 0.9 * radius, centre[2] + 1.8 * radius,
              centre[0], centre[1], centre[2], 0, 1, 0);
}

// The triangles one by one, as a plain immediate-mode Render draws them.
void DrawImmediate(Isosurface& iso) {
    glDisable(GL_TEXTURE_1D);
    glColor4f(0.0f, 0.7f, 0.7f, 1.0f);
    const TriangleStore& store = iso.GetTriangles();
    glBegin(GL_TRIANGLES);
    for (size_t i = store.Size(); i-- > 0;) {  // newest first
        const Triangle& t = store[i];
        glNormal3dv(t.normal);
        glVertex3dv(t.point[0]);
        glVertex3dv(t.point[1]);
        glVertex3dv(t.point[2]);
    }
    glEnd();
    glEnable(GL_TEXTURE_1D);
}

void DrawLists(Isosurface& iso) {
    iso.Render();
}

double FramesPerSecond(void (*draw)(Isosurface&), Isosurface& iso, int frames) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        draw(iso);
        glutSwapBuffers();
        glFinish();
    }
    return frames / Seconds(start);
}

// A wavy sheet of 2 * n * n lit triangles over [-1, 1]^2.
void AddSheet(Isosurface& iso, int n) {
    TriangleStore store;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            double p[4][3];
            for (int c = 0; c < 4; ++c) {
                double x = -1 + 2.0 * (i + (c & 1)) / n, y = -1 + 2.0 * (j + (c >> 1)) / n;
                p[c][0] = x, p[c][1] = 0.2 * std::sin(7 * x) * std::cos(5 * y), p[c][2] = y;
            }
            store.Add(p[0], p[1], p[3]);
            store.Add(p[0], p[3], p[2]);
        }
    }
    iso.Swap(store);
}

long Count(const Isosurface& iso) {
    return (long)iso.GetTriangles().Size();
}

void Measure(FILE* report, const char* name, Isosurface& iso, const double* bounds, int frames) {
    SceneState(bounds);
    FramesPerSecond(DrawImmediate, iso, 1);  // warm up
    auto start = std::chrono::steady_clock::now();
    FramesPerSecond(DrawLists, iso, 1);  // compiles the lists
    double compile = Seconds(start);
    // Alternating rounds, best of each: the two sides see the same machine load.
    double immediate = 0, lists = 0;
    for (int round = 0; round < kRounds; ++round) {
        immediate = std::max(immediate, FramesPerSecond(DrawImmediate, iso, frames));
        lists = std::max(lists, FramesPerSecond(DrawLists, iso, frames));
    }
    long n = Count(iso);
    fprintf(report, "%-26s %9li %8.2f %8.2f %6.2fx %9.1f %9.1f %10.3f\n", name, n, immediate, lists,
            lists / immediate, n * immediate / 1e6, n * lists / 1e6, compile);
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(kWidth, kHeight);
    glutCreateWindow("bench_isosurface_draw");
    const char* volumeFile = argc > 1 && argv[1][0] ? argv[1] : nullptr;
    int frames = argc > 2 ? atoi(argv[2]) : 10;
    FILE* report = fdopen(dup(fileno(stdout)), "w");
    if (!report || !freopen("/dev/null", "w", stdout)) return 1;

    fprintf(report, "%-26s %9s %8s %8s %7s %9s %9s %10s\n", "surface", "triangles", "imm fps",
            "list fps", "ratio", "imm Mt/s", "list Mt/s", "compile s");
    {
        Isosurface sheet;
        AddSheet(sheet, 1000);
        const double bounds[6] = {-1, 1, -0.2, 0.2, -1, 1};
        Measure(report, "wavy sheet", sheet, bounds, frames);
    }
    if (volumeFile) {
        TetrahedralVolume vol;
        vol.ReadFile(volumeFile);
        std::vector<double> s;
        double bounds[6] = {9e10, -9e10, 9e10, -9e10, 9e10, -9e10};
        for (const Block& b : vol.GetBlocks()) {
            for (uint32_t i = 0; i < b.num_Tetra; ++i) s.push_back(b.tetra[i].v[0]->MomentumMag);
            for (int a = 0; a < 3; ++a) {
                bounds[2 * a] = std::min(bounds[2 * a], b.min[a]);
                bounds[2 * a + 1] = std::max(bounds[2 * a + 1], b.max[a]);
            }
        }
        if (!s.empty()) {
            std::nth_element(s.begin(), s.begin() + (long)s.size() / 2, s.end());
            Isosurface iso;
            TriangleStore store;
            ExtractIsosurface(vol, fieldMomentum, s[s.size() / 2], &store);
            iso.Swap(store);
            Measure(report, "city momentum at median", iso, bounds, frames);
        }
    }
    fprintf(report, "aim: list fps >= 1.3 x immediate fps on the 2 M-triangle sheet\n");
    fclose(report);
    return 0;
}
