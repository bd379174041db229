// The long work that the panels ask for, as jobs for the worker thread. Run reads only what
// stays unchanged while the viewer runs (the volume, the surfaces' vertices and ranges, and
// the path line searcher, which only the worker uses); Apply, on the drawing thread, puts
// the result in the model.
#pragma once

#include <array>
#include <vector>

#include "app/worker.h"
#include "remote/client.h"
#include "surface/displaylist.h"
#include "volume/kavformat.h"
#include "volume/pathline.h"
#include "volume/pathlinestarter.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"

struct AppState;

// The isosurface of the isosurface's variable at its value as they are when the job is made;
// the result replaces the surface shown.
class IsosurfaceJob : public Job {
public:
    // `live`: made by a held value stepper (the surface follows the value as it changes).
    IsosurfaceJob(AppState& app, bool live);
    bool Run(Console console, Progress* progress) override;
    void Apply() override;
    // A waiting live job takes on the variable and value of a newer live one, so that steps
    // made while an extraction runs go into a single next one.
    bool Absorb(Job& newer) override;

    FieldVar GetField() const { return field; }
    double GetValue() const { return value; }

private:
    AppState& app;
    const TetrahedralVolume& volume;
    RemoteVolume* remote;  // null: extract from `volume`
    FieldVar field;
    double value;
    bool live;
    TriangleStore triangles;  // the memory of an earlier surface, when one is spare
};

// Removes the isosurface, in its turn after the jobs before it.
class ClearIsosurfaceJob : public Job {
public:
    explicit ClearIsosurfaceJob(AppState& app) : app(app) {}
    bool Run(Console, Progress*) override { return true; }
    void Apply() override;

private:
    AppState& app;
};

// A new set of path lines from seeds drawn when the job is made, around the source as it is
// then; the set replaces the lines shown.
class PathLineJob : public Job {
public:
    explicit PathLineJob(AppState& app);
    bool Run(Console console, Progress* progress) override;
    void Apply() override;

private:
    AppState& app;
    PointLocator* locator;
    RemoteVolume* remote;  // null: trace with `locator`
    std::vector<Seed> seeds;
    std::vector<PathLine> lines;
};

// Colours the four surfaces by one variable: the worker computes every vertex's texture
// coordinate, and the first frame after it compiles the display lists.
class ColorCityJob : public Job {
public:
    ColorCityJob(AppState& app, DisplayListColor color);
    bool Run(Console console, Progress* progress) override;
    void Apply() override;

private:
    AppState& app;
    DisplayListColor color;
    std::array<std::vector<float>, kSurfaceCount> coordinates;
};

// Shows the results of the jobs finished since the last call, in order, each after what its
// work printed; called at the start of every frame.
void ApplyFinished(AppState& app);
// Esc: cancels the running job and the waiting ones and prints "Cancelled." when there was
// any; results that were already finished are shown first.
void CancelWork(AppState& app);
// Brings the progress bar in line with the running job.
void ShowProgress(AppState& app);
