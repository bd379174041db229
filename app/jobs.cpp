#include "app/jobs.h"

#include <cstdio>

#include "app/state.h"
#include "app/ui.h"
#include "volume/marchingtetra.h"

IsosurfaceJob::IsosurfaceJob(AppState& app, bool live)
    : app(app),
      volume(*app.volume),
      remote(app.remote.get()),
      field(app.isosurface.GetField()),
      value(app.isosurface.GetValue()),
      live(live),
      triangles(std::move(app.spareTriangles)) {}

namespace {

// A request the server could not answer: its reason on the console. A cancellation has none.
bool ReportRemote(bool done, const std::string& error, Console console) {
    if (!done && !error.empty()) console.Print("ERROR: %s\n", error.c_str());
    return done;
}

}  // namespace

bool IsosurfaceJob::Run(Console console, Progress* progress) {
    if (!remote) return ExtractIsosurface(volume, field, value, &triangles, console, progress);
    std::string error;
    return ReportRemote(
        remote->ExtractIsosurface(field, value, &triangles, console, progress, &error), error,
        console);
}

void IsosurfaceJob::Apply() {
    app.isosurface.Swap(triangles);
    app.spareTriangles = std::move(triangles);
}

bool IsosurfaceJob::Absorb(Job& newer) {
    IsosurfaceJob* other = dynamic_cast<IsosurfaceJob*>(&newer);
    if (!live || !other || !other->live) return false;
    field = other->field;
    value = other->value;
    return true;
}

void ClearIsosurfaceJob::Apply() {
    app.isosurface.PurgeIsosurface();
}

PathLineJob::PathLineJob(AppState& app)
    : app(app),
      locator(app.pathlines.GetLocator()),
      remote(app.remote.get()),
      seeds(app.pathlines.DrawSeeds()) {}

bool PathLineJob::Run(Console console, Progress* progress) {
    if (!remote) return TracePathLines(locator, seeds, &lines, console, progress);
    std::string error;
    return ReportRemote(remote->TracePathLines(seeds, &lines, console, progress, &error), error,
                        console);
}

void PathLineJob::Apply() {
    app.pathlines.SetLines(std::move(lines));
}

ColorCityJob::ColorCityJob(AppState& app, DisplayListColor color) : app(app), color(color) {}

bool ColorCityJob::Run(Console, Progress* progress) {
    progress->total = kSurfaceCount;
    for (int i = 0; i < kSurfaceCount; ++i) {
        if (progress->Cancelled()) return false;
        coordinates[i] = app.surfaces[i].ColorCoordinates(color);
        ++progress->done;
    }
    return true;
}

void ColorCityJob::Apply() {
    for (int i = 0; i < kSurfaceCount; ++i) {
        app.surfaces[i].SetColoring(color, std::move(coordinates[i]));
        app.surfaces[i].InitGL();
    }
    contextUIUpdate(app);
    UpdateLegend(app);
}

void ApplyFinished(AppState& app) {
    app.worker.TakeFinished(app.finishedJobs);
    for (FinishedJob& f : app.finishedJobs) {
        fwrite(f.output.data(), 1, f.output.size(), stdout);
        f.job->Apply();
    }
    app.finishedJobs.clear();
}

void CancelWork(AppState& app) {
    ApplyFinished(app);
    app.hold.Release();
    if (app.worker.Cancel() > 0) printf("Cancelled.\n");
    app.progressBar.Clear();
}

void ShowProgress(AppState& app) {
    long done = 0, total = 0;
    if (app.worker.GetProgress(&done, &total)) {
        app.progressBar.SetProgress(done, total);
    } else {
        app.progressBar.Clear();
    }
}
