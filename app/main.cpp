// Velmora: the entry point, the start-up sequence and the GLUT callbacks.
#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>
#include <string>

#include "app/state.h"
#include "app/ui.h"
#include "surface/colormap.h"

namespace {

// The one state that the GLUT callbacks act on; set by main before the first callback.
AppState* app = nullptr;

void display() {
    FollowView(*app);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    app->scene.RenderScene();
    glutSwapBuffers();
}

void reshape(int w, int h) {
    double bounds[6] = BOUNDS_INIT;
    printf("Updating window size to %i x %i\n", w, h);
    app->scene.GetBounds(bounds);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    app->scene.SetWidth((float)w);
    app->scene.SetHeight((float)h);
    // A minimised window reports height 0; keep the aspect ratio finite.
    float aspect = (float)w / (float)(h > 0 ? h : 1);
    gluPerspective(45, aspect, 1, FarPlane(bounds, (float)h));
    app->width = w;
    app->height = h;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Drags act as velocities: the pointer's offset is applied once per idle call.
void doidle() {
    if (app->quit) {
        glutLeaveMainLoop();
        return;
    }
    const MouseDrag& d = app->drag;
    switch (d.button) {
        case 0:
            app->camera.Rotate(d.dx / -40, d.dy / 40, 0);
            break;
        case 1:
            app->camera.Move(d.dx / 40, d.dy / 40, 0);
            break;
        case 2:
            app->camera.Move(0, 0, d.dy / -40);
            break;
        default:
            break;
    }
    glutPostRedisplay();
}

void mousefunc(int button, int state, int x, int y) {
    MouseDrag& d = app->drag;
    if (state != GLUT_DOWN) {
        if (state == GLUT_UP) d.button = -1;
        return;
    }
    if (button == GLUT_LEFT_BUTTON && app->scene.LeftClick(x, y)) return;
    d.button = button;
    d.x = (float)x;
    d.y = (float)y;
    d.dx = d.dy = 0;
}

void motionfunc(int x, int y) {
    app->drag.dx = x - app->drag.x;
    app->drag.dy = y - app->drag.y;
}

// The space key slides the main menu out, and in again from any other state.
void keypress(unsigned char key, int x, int y) {
    (void)x, (void)y;
    if (key != ' ') return;
    WidgetContainer& menu = app->panels.mainUI.panel;
    if (menu.Visible()) {
        menu.Hide();
    } else {
        menu.Show();
    }
}

// Reports a failed load on the console. A file with the wrong magic ends the program after
// one line of console input: then false.
bool Report(const LoadResult& result) {
    switch (result.status) {
        case LoadStatus::kLoaded:
            return true;
        case LoadStatus::kCannotOpen:
        case LoadStatus::kRefused:
            fflush(stdout);
            fprintf(stderr, "%s\n", result.message.c_str());
            return true;
        case LoadStatus::kWrongMagic:
            break;
    }
    printf("%s\n", result.message.c_str());
    fflush(stdout);
    char line[256];
    if (fgets(line, sizeof line, stdin) == nullptr) clearerr(stdin);
    return false;
}

// Exit status after a data file with the wrong magic.
const int kWrongMagicStatus = 255;

// Loads the four surfaces and the volume from the working directory and puts every element
// into the scene; false when a wrong magic ends the program.
bool LoadData(AppState& state) {
    unsigned char map[kColorMapEntries * 4] = {};
    BuildColorMap(map);
    for (int i = 0; i < kSurfaceCount; ++i) {
        std::string filename = SurfaceFileName(i);
        printf("Loading \"%s\"...\n", filename.c_str());
        DisplayListObject& surface = state.surfaces[i];
        if (!Report(surface.LoadSurface(filename.c_str()))) return false;
        surface.SetColorMap(colorEnergy);
        surface.LoadColorMap(map);
        state.scene.Add3dElement(&surface);
    }
    if (!Report(state.volume->ReadFile(kVolumeFileName))) return false;
    state.pathlines.SetVolume(state.volume.get());
    state.scene.Add3dElement(&state.pathlineView);
    state.scene.Add3dElement(&state.isosurface);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(1024, 768);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("Velmora - Dataset Visualizer");
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);

    AppState state;
    app = &state;
    glutKeyboardFunc(keypress);
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutMouseFunc(mousefunc);
    glutMotionFunc(motionfunc);
    glutIdleFunc(doidle);

    if (!LoadData(state)) return kWrongMagicStatus;
    state.scene.SetFont(&state.font);
    state.scene.AddUIElement(&state.framerate);
    BuildUI(state);

    state.scene.SetCamera(&state.camera);
    state.scene.InitGL();
    glutMainLoop();
    app = nullptr;
    return 0;
}
