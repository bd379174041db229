// Everything the running viewer holds, in one place: created by main at start-up, reached by
// the GLUT callbacks through one pointer, and acted on by the panels.
#pragma once

#include <array>
#include <memory>

#include "app/holdrepeat.h"
#include "app/options.h"
#include "app/panels.h"
#include "app/worker.h"
#include "remote/client.h"
#include "scene/camera.h"
#include "scene/framing.h"
#include "scene/isosurface.h"
#include "scene/pathlineview.h"
#include "scene/scene.h"
#include "surface/displaylist.h"
#include "volume/kavformat.h"
#include "volume/pathlinestarter.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"
#include "widgets/colorlegend.h"
#include "widgets/framerate.h"
#include "widgets/glfont.h"
#include "widgets/helpoverlay.h"
#include "widgets/progressbar.h"

// The mouse button that drives the camera, and where it went down (window pixels).
struct MouseDrag {
    int button = -1;  // -1 none, 0 left (turn), 1 middle (pan), 2 right (along the view)
    float x = 0, y = 0;
    float dx = 0, dy = 0;  // the pointer's offset from there; y grows downward
};

struct AppState {
    Options options;
    CameraObject camera;
    Framing framing{};    // the last framing (f), in force while `framed`
    bool framed = false;  // f was pressed since the start or the last r
    Scene scene;
    BitmapFont font;
    // The city surfaces in file order: walls, ceiling, city, floor.
    std::array<DisplayListObject, kSurfaceCount> surfaces;
    std::unique_ptr<TetrahedralVolume> volume = std::make_unique<TetrahedralVolume>();
    // With --connect: the server that computes from the volume; `volume` then holds only its
    // header (extent and field ranges).
    std::unique_ptr<RemoteVolume> remote;
    PathLineGenerator pathlines;
    PathLineView pathlineView{pathlines};
    Isosurface isosurface;
    TriangleStore spareTriangles;  // where the next extraction goes; then swapped in
    FramerateWidget framerate;
    ColorLegendWidget legend;
    ProgressBarWidget progressBar;
    HelpOverlayWidget help;
    Panels panels;
    MouseDrag drag;
    HoldRepeat hold;  // a value stepper of the isosurface panel held down
    int width = 0, height = 0;
    bool screenshotRequested = false;       // p was pressed: save the next frame drawn
    bool quit = false;                      // leave the event loop...
    int exitStatus = 0;                     // ... with this status
    std::vector<FinishedJob> finishedJobs;  // scratch for the jobs whose results arrive
    // Last, so that it is destroyed first: its thread ends before what the jobs use goes.
    Worker worker;
};
