// Velmora: the entry point, the start-up sequence and the GLUT callbacks.
#include <GL/freeglut.h>

#include <cstdio>
#include <string>

#include "app/capture.h"
#include "app/jobs.h"
#include "app/state.h"
#include "app/ui.h"
#include "app/view.h"
#include "surface/colormap.h"
#include "widgets/clock.h"

namespace {

// The one state that the GLUT callbacks act on; set by main before the first callback.
AppState* app = nullptr;

const unsigned char kEscape = 27;

// With --screenshot: once the start view has settled (the main menu fully in), saves the
// frame just drawn and ends the program.
void SaveStartView() {
    if (!app->panels.mainUI.panel.Visible()) return;
    std::string error;
    if (!SaveWindowPicture(app->width, app->height, app->options.screenshotFile, error)) {
        fflush(stdout);
        fprintf(stderr, "ERROR: %s\n", error.c_str());
        app->exitStatus = 1;
    }
    app->quit = true;
}

void display() {
    ApplyFinished(*app);  // results that arrived show from this frame on
    ShowProgress(*app);
    FollowView(*app);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    app->scene.RenderScene();
    if (app->screenshotRequested) {
        app->screenshotRequested = false;
        SaveScreenshot(app->width, app->height);
    }
    if (!app->options.screenshotFile.empty()) SaveStartView();
    glutSwapBuffers();
}

void reshape(int w, int h) {
    printf("Updating window size to %i x %i\n", w, h);
    glViewport(0, 0, w, h);
    app->scene.SetWidth((float)w);
    app->scene.SetHeight((float)h);
    app->width = w;
    app->height = h;
    ApplyProjection(*app);
    glLoadIdentity();
}

// Drags act as velocities: the pointer's offset is applied once per idle call. Moving drags
// scale with the eye's distance after the data were framed.
void doidle() {
    if (app->quit) {
        glutLeaveMainLoop();
        return;
    }
    RepeatHeldStep(*app, MonotonicMillis());
    const MouseDrag& d = app->drag;
    const float scale = app->camera.DragScale();
    switch (d.button) {
        case 0:
            app->camera.Rotate(d.dx / -40, d.dy / 40, 0);
            break;
        case 1:
            app->camera.Move(d.dx / 40 * scale, d.dy / 40 * scale, 0);
            break;
        case 2:
            app->camera.Move(0, 0, d.dy / -40 * scale);
            break;
        default:
            break;
    }
    glutPostRedisplay();
}

void mousefunc(int button, int state, int x, int y) {
    MouseDrag& d = app->drag;
    if (state != GLUT_DOWN) {
        if (state == GLUT_UP) {
            d.button = -1;
            if (button == GLUT_LEFT_BUTTON) app->hold.Release();
        }
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
void ToggleMainMenu() {
    WidgetContainer& menu = app->panels.mainUI.panel;
    if (menu.Visible()) {
        menu.Hide();
    } else {
        menu.Show();
    }
}

void keypress(unsigned char key, int x, int y) {
    (void)x, (void)y;
    switch (key) {
        case ' ':
            ToggleMainMenu();
            break;
        case 'f':
            if (FrameData(*app)) ApplyProjection(*app);
            break;
        case 'r':
            ResetView(*app);
            ApplyProjection(*app);
            break;
        case 'p':
            app->screenshotRequested = true;
            break;
        case 'h':
            app->help.Toggle();
            break;
        case kEscape:
            CancelWork(*app);
            break;
        default:
            break;
    }
}

void specialkey(int key, int x, int y) {
    (void)x, (void)y;
    if (key == GLUT_KEY_F1) app->help.Toggle();
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

// Loads the four surfaces and the volume from the data folder (the working directory) and
// puts every element into the scene; false when a wrong magic ends the program.
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
    if (state.remote) {
        // The server read the volume: its loading lines, and its header for the ranges.
        fputs(state.remote->GetLoadingText().c_str(), stdout);
        LoadVolumeHeader(*state.remote, state.volume.get());
    } else if (!Report(state.volume->ReadFile(kVolumeFileName))) {
        return false;
    }
    state.pathlines.SetVolume(state.volume.get());
    state.scene.Add3dElement(&state.pathlineView);
    state.scene.Add3dElement(&state.isosurface);
    return true;
}

// The overlays below the panels. The help comes first in the widget list's order of adding,
// so that it is drawn over everything else.
void AddOverlays(AppState& state) {
    state.scene.AddUIElement(&state.help);
    state.scene.AddUIElement(&state.legend);
    state.scene.AddUIElement(&state.progressBar);
    state.scene.AddUIElement(&state.framerate);
}

}  // namespace

int main(int argc, char** argv) {
    OptionsResult parsed = ParseOptions(argc, argv);
    fputs(parsed.out.c_str(), stdout);
    fputs(parsed.err.c_str(), stderr);
    if (!parsed.run) return parsed.status;
    std::string error;
    if (!EnterDataFolder(parsed.options, error)) {
        fputs(error.c_str(), stderr);
        return 2;
    }

    // A server that cannot be reached ends the program before any window opens.
    std::unique_ptr<RemoteVolume> remote;
    if (!parsed.options.connect.empty()) {
        remote = std::make_unique<RemoteVolume>(parsed.options.connect, parsed.options.tokenFile);
        if (!remote->Connect(&error)) {
            fprintf(stderr, "ERROR: %s\n", error.c_str());
            return 2;
        }
    }

    // The command line is the viewer's own; GLUT gets none of it.
    int glutArgc = 1;
    glutInit(&glutArgc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(1024, 768);
    glutInitWindowPosition(0, 0);
    glutCreateWindow("Velmora - Dataset Visualizer");
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);

    AppState state;
    state.options = parsed.options;
    state.remote = std::move(remote);
    app = &state;
    glutKeyboardFunc(keypress);
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutMouseFunc(mousefunc);
    glutMotionFunc(motionfunc);
    glutIdleFunc(doidle);
    glutSpecialFunc(specialkey);

    if (!LoadData(state)) return kWrongMagicStatus;
    state.scene.SetFont(&state.font);
    AddOverlays(state);
    UpdateLegend(state);
    BuildUI(state);

    state.scene.SetCamera(&state.camera);
    state.scene.InitGL();
    glutMainLoop();
    app = nullptr;
    return state.exitStatus;
}
