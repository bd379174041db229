// Velmora: entry point, GLUT callbacks and the program's global objects.
#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>

#include "app/globals.h"
#include "app/ui.h"
#include "surface/colormap.h"
#include "widgets/framerate.h"

CameraObject User;
Scene World;

// Which mouse button drives the camera: -1 none, 0 left (turn), 1 middle (pan),
// 2 right (along the view axis).
int ButtonHit = -1;
float Button_X = 0, Button_Y = 0;  // where the driving button went down (window pixels)
float deltax = 0, deltay = 0;      // pointer offset from there; y grows downward
int width = 0, height = 0;

DisplayListObject* context[4] = {nullptr, nullptr, nullptr, nullptr};
TetrahedralVolume* volume = nullptr;
PathLineGenerator* pathline = nullptr;
Isosurface* isosurface = nullptr;

void display() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    World.RenderScene();
    glutSwapBuffers();
}

void reshape(int w, int h) {
    double bounds[6] = BOUNDS_INIT;
    printf("Updating window size to %i x %i\n", w, h);
    World.GetBounds(bounds);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    World.SetWidth((float)w);
    World.SetHeight((float)h);
    // A minimised window reports height 0; keep the aspect ratio finite.
    float aspect = (float)w / (float)(h > 0 ? h : 1);
    gluPerspective(45, aspect, 1, FarPlane(bounds, (float)h));
    width = w;
    height = h;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Drags act as velocities: the pointer's offset is applied once per idle call.
void doidle() {
    switch (ButtonHit) {
        case 0:
            User.Rotate(deltax / -40, deltay / 40, 0);
            break;
        case 1:
            User.Move(deltax / 40, deltay / 40, 0);
            break;
        case 2:
            User.Move(0, 0, deltay / -40);
            break;
        default:
            break;
    }
    glutPostRedisplay();
}

void mousefunc(int button, int state, int x, int y) {
    if (state != GLUT_DOWN) {
        if (state == GLUT_UP) ButtonHit = -1;
        return;
    }
    if (button == GLUT_LEFT_BUTTON && World.LeftClick(x, y)) return;
    ButtonHit = button;
    Button_X = (float)x;
    Button_Y = (float)y;
    deltax = deltay = 0;
}

void motionfunc(int x, int y) {
    deltax = x - Button_X;
    deltay = y - Button_Y;
}

// The space key slides the main menu out, and in again from any other state.
void keypress(unsigned char key, int x, int y) {
    (void)x, (void)y;
    if (key != ' ') return;
    if (mainUI.Visible()) {
        mainUI.Hide();
    } else {
        mainUI.Show();
    }
}

int main(int argc, char** argv) {
    unsigned char map[kColorMapEntries * 4] = {};
    char filename[128];

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(1024, 768);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("Velmora - Dataset Visualizer");

    glutKeyboardFunc(keypress);
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutMouseFunc(mousefunc);
    glutMotionFunc(motionfunc);
    glutIdleFunc(doidle);

    BuildColorMap(map);
    for (int i = 0; i < 4; ++i) {
        snprintf(filename, sizeof filename, "surface-%i.kav", i + 1);
        printf("Loading \"%s\"...\n", filename);
        context[i] = new DisplayListObject();
        context[i]->LoadSurface(filename);
        context[i]->SetColorMap(colorEnergy);
        context[i]->LoadColorMap(map);
        World.Add3dElement(context[i]);
    }

    volume = new TetrahedralVolume();
    volume->ReadFile("volume.kav");
    pathline = new PathLineGenerator();
    pathline->SetVolume(volume);
    World.Add3dElement(pathline);

    isosurface = new Isosurface();
    isosurface->SetVolume(volume);
    World.Add3dElement(isosurface);

    World.AddUIElement(new FramerateWidget());
    BuildUI();

    World.SetCamera(&User);
    World.InitGL();
    glutMainLoop();
    return 0;
}
