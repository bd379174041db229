// The program's long-lived objects, shared by the event callbacks and the panels.
#pragma once

#include "scene/camera.h"
#include "scene/scene.h"
#include "surface/displaylist.h"
#include "volume/isosurface.h"
#include "volume/pathlinestarter.h"
#include "volume/tetravolume.h"

extern CameraObject User;
extern Scene World;

// The city surfaces: 0 walls, 1 ceiling, 2 city, 3 floor.
extern DisplayListObject* context[4];
extern TetrahedralVolume* volume;
extern PathLineGenerator* pathline;
extern Isosurface* isosurface;
