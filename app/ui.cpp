#include "app/ui.h"

#include <cstdio>
#include <functional>
#include <initializer_list>

#include "app/jobs.h"
#include "app/state.h"
#include "widgets/clock.h"

namespace {

void Set(ButtonWidget& button, const char* text, std::function<void()> callback) {
    button.SetText(text);
    button.SetCallback(std::move(callback));
}

void Set(CheckBoxWidget& box, const char* text, std::function<void(bool)> callback) {
    box.SetText(text);
    box.SetCallback(std::move(callback));
}

void AddAll(WidgetContainer& panel, std::initializer_list<Widget*> widgets) {
    for (Widget* w : widgets) panel.AddWidget(w);
}

void ShowSurface(AppState& app, int role, bool checked) {
    app.surfaces[role].SetVisibility(checked);
    contextUIUpdate(app);
}

void StepRadius(AppState& app, double delta) {
    app.pathlines.SetRadius(app.pathlines.GetRadius() + delta);
    pluiUpdate(app);
}

void ContourBy(AppState& app, FieldVar field) {
    app.isosurface.SetField(field);
    isoUIRecenter(app);
    isouiUpdate(app);
}

void StepValue(AppState& app, double perc) {
    isoMovebyPercent(app, perc);
    isouiUpdate(app);
}

// A click steps once; held down, the stepper repeats (RepeatHeldStep).
void PressStepper(AppState& app, double perc) {
    StepValue(app, perc);
    app.hold.Press(MonotonicMillis(), perc);
}

void BuildMainMenu(AppState& app) {
    MainMenu& ui = app.panels.mainUI;
    Panels& p = app.panels;
    ui.panel.SetTitle("Main");
    ui.panel.Show();  // the only panel that starts sliding in
    Set(ui.exit, "Exit", [&app] { app.quit = true; });
    Set(ui.openCity, "City Options", [&app, &p] {
        p.mainUI.panel.SwitchTo(&p.contextUI.panel);
        contextUIUpdate(app);
    });
    Set(ui.openPathLines, "PathLine", [&app, &p] {
        p.mainUI.panel.SwitchTo(&p.pathlineUI.panel);
        pluiUpdate(app);
    });
    Set(ui.openIsosurface, "Isosurface", [&app, &p] {
        p.mainUI.panel.SwitchTo(&p.isosurfaceUI.panel);
        isouiUpdate(app);
    });
    AddAll(ui.panel, {&ui.exit, &ui.openCity, &ui.openPathLines, &ui.openIsosurface});
}

void BuildContextUI(AppState& app) {
    CityPanel& ui = app.panels.contextUI;
    ui.panel.SetTitle("City Options");
    Set(ui.back, "<< Back", [&ui] { ui.panel.Hide(); });
    Set(ui.colorNone, "No Color", [&app] { ColorCity(app, colorNone); });
    Set(ui.colorDensity, "Color By Density", [&app] { ColorCity(app, colorDensity); });
    Set(ui.colorEnergy, "Color By Energy", [&app] { ColorCity(app, colorEnergy); });
    Set(ui.colorMomentum, "Color By Momentum", [&app] { ColorCity(app, colorMomentum); });
    Set(ui.showCeiling, "Show Ceiling", [&app](bool on) { ShowSurface(app, kSurfaceCeiling, on); });
    Set(ui.showWalls, "Show Walls", [&app](bool on) { ShowSurface(app, kSurfaceWalls, on); });
    Set(ui.showCity, "Show City", [&app](bool on) { ShowSurface(app, kSurfaceCity, on); });
    Set(ui.showFloor, "Show Floor", [&app](bool on) { ShowSurface(app, kSurfaceFloor, on); });
    Set(ui.wireframe, "Render Wireframe", [&app](bool on) {
        for (DisplayListObject& surface : app.surfaces) surface.SetWireframe(on);
        contextUIUpdate(app);
    });
    AddAll(ui.panel, {&ui.back, &ui.colorNone, &ui.colorDensity, &ui.colorEnergy, &ui.colorMomentum,
                      &ui.showCeiling, &ui.showWalls, &ui.showCity, &ui.showFloor, &ui.wireframe});
}

void BuildPathLineUI(AppState& app) {
    PathLinePanel& ui = app.panels.pathlineUI;
    PathLineGenerator& lines = app.pathlines;
    Set(ui.back, "<< Back", [&ui] { ui.panel.Hide(); });
    ui.panel.SetTitle("Pathlines");
    // The count stops at 0: a negative number of path lines means nothing.
    Set(ui.countDec, "-", [&app, &lines] {
        if (lines.GetCount() > 0) lines.SetCount(lines.GetCount() - 1);
        pluiUpdate(app);
    });
    Set(ui.countInc, "+", [&app, &lines] {
        lines.SetCount(lines.GetCount() + 1);
        pluiUpdate(app);
    });
    Set(ui.countShow, "Count", nullptr);
    Set(ui.radiusDec, "-", [&app] { StepRadius(app, -0.25); });
    Set(ui.radiusDec5, "-5", [&app] { StepRadius(app, -5); });
    Set(ui.radiusInc, "+", [&app] { StepRadius(app, 0.25); });
    Set(ui.radiusInc5, "+5", [&app] { StepRadius(app, 5); });
    Set(ui.radiusShow, "Radius", nullptr);
    Set(ui.generate, "Generate", [&app] { GeneratePathLines(app); });
    Set(ui.showGhost, "Show Source", [&app, &lines](bool on) {
        lines.SetGhostVisibility(on);
        pluiUpdate(app);
    });
    Set(ui.anchored, "Moving with View", [&app, &lines](bool on) {
        lines.Anchor(on);
        pluiUpdate(app);
    });
    AddAll(ui.panel, {&ui.back, &ui.generate, &ui.countShow, &ui.countInc, &ui.countDec,
                      &ui.radiusShow, &ui.radiusInc, &ui.radiusDec, &ui.radiusInc5, &ui.radiusDec5,
                      &ui.showGhost, &ui.anchored});
}

void BuildIsosurfaceUI(AppState& app) {
    IsosurfacePanel& ui = app.panels.isosurfaceUI;
    Set(ui.byDensity, "Contour Density", [&app] { ContourBy(app, fieldDensity); });
    Set(ui.byEnergy, "Contour Energy", [&app] { ContourBy(app, fieldEnergy); });
    Set(ui.byMomentum, "Contour Momentum", [&app] { ContourBy(app, fieldMomentum); });
    Set(ui.valDec, "-", [&app] { PressStepper(app, -0.01); });
    Set(ui.valDec5, "--", [&app] { PressStepper(app, -0.05); });
    Set(ui.valInc, "+", [&app] { PressStepper(app, 0.01); });
    Set(ui.valInc5, "++", [&app] { PressStepper(app, 0.05); });
    // The value display gets its text from isouiUpdate only.
    Set(ui.generate, "Generate", [&app] { GenerateIsosurface(app); });
    Set(ui.clear, "Clear",
        [&app] { app.worker.Submit(std::make_unique<ClearIsosurfaceJob>(app)); });
    Set(ui.back, "<< Back", [&ui] { ui.panel.Hide(); });
    AddAll(ui.panel, {&ui.back, &ui.byDensity, &ui.byEnergy, &ui.byMomentum, &ui.valDec,
                      &ui.valDec5, &ui.valInc, &ui.valInc5, &ui.valShow, &ui.generate, &ui.clear});
}

}  // namespace

void BuildUI(AppState& app) {
    BuildMainMenu(app);
    BuildContextUI(app);
    BuildPathLineUI(app);
    BuildIsosurfaceUI(app);
    Panels& p = app.panels;
    for (WidgetContainer* panel :
         {&p.mainUI.panel, &p.contextUI.panel, &p.pathlineUI.panel, &p.isosurfaceUI.panel}) {
        app.scene.AddUIElement(panel);
    }
}

void ColorCity(AppState& app, DisplayListColor color) {
    app.worker.Submit(std::make_unique<ColorCityJob>(app, color));
}

void GenerateIsosurface(AppState& app) {
    app.worker.Submit(std::make_unique<IsosurfaceJob>(app, false));
}

void GeneratePathLines(AppState& app) {
    app.worker.Submit(std::make_unique<PathLineJob>(app));
}

void RepeatHeldStep(AppState& app, int64_t nowMs) {
    if (!app.panels.isosurfaceUI.panel.Visible()) app.hold.Release();
    const int steps = app.hold.StepsDue(nowMs);
    if (steps == 0) return;
    for (int i = 0; i < steps; ++i) isoMovebyPercent(app, app.hold.Step());
    isouiUpdate(app);
    app.worker.Submit(std::make_unique<IsosurfaceJob>(app, true));
}

void UpdateLegend(AppState& app) {
    static const char* const kNames[] = {"", "Density", "Energy", "Momentum"};
    // The surfaces share one colouring and, from their headers, one range per variable;
    // the first surface that loaded speaks for them.
    const DisplayListColor color = app.surfaces[kSurfaceWalls].GetColorMap();
    double range[2];
    for (const DisplayListObject& surface : app.surfaces) {
        if (surface.GetNumPoints() == 0 || !surface.GetColorRange(color, range)) continue;
        app.legend.SetVariable(kNames[color], range[0], range[1]);
        app.legend.SetShown(true);
        return;
    }
    app.legend.SetShown(false);
}

void FollowView(AppState& app) {
    if (!app.pathlines.GetAnchor()) return;
    double focus[3];
    app.camera.GetPosition(focus);
    app.pathlines.SetStart(focus);
}

void contextUIUpdate(AppState& app) {
    CityPanel& ui = app.panels.contextUI;
    ui.colorNone.SetText("No Color");
    ui.colorDensity.SetText("Color By Density");
    ui.colorEnergy.SetText("Color By Energy");
    ui.colorMomentum.SetText("Color By Momentum");
    switch (app.surfaces[kSurfaceWalls].GetColorMap()) {
        case colorNone:
            ui.colorNone.SetText(">> No Color");
            break;
        case colorDensity:
            ui.colorDensity.SetText(">> Color By Density");
            break;
        case colorEnergy:
            ui.colorEnergy.SetText(">> Color By Energy");
            break;
        case colorMomentum:
            ui.colorMomentum.SetText(">> Color By Momentum");
            break;
    }
    ui.showCeiling.SetState(app.surfaces[kSurfaceCeiling].GetVisibility());
    ui.showWalls.SetState(app.surfaces[kSurfaceWalls].GetVisibility());
    ui.showCity.SetState(app.surfaces[kSurfaceCity].GetVisibility());
    ui.showFloor.SetState(app.surfaces[kSurfaceFloor].GetVisibility());
    ui.wireframe.SetState(app.surfaces[kSurfaceWalls].GetWireframe());
}

void FormatBounded(char* buffer, size_t size, const char* format, int digits, double value) {
    int n = snprintf(buffer, size, format, value);
    if (n < 0 || (size_t)n >= size) snprintf(buffer, size, "%.*e", digits, value);
}

void pluiUpdate(AppState& app) {
    PathLinePanel& ui = app.panels.pathlineUI;
    char buffer[15];
    FormatBounded(buffer, sizeof buffer, "%.2f", 4, app.pathlines.GetRadius());
    ui.radiusShow.SetText(buffer);
    snprintf(buffer, sizeof buffer, "%i", app.pathlines.GetCount());
    ui.countShow.SetText(buffer);
    ui.showGhost.SetState(app.pathlines.GetGhostVisibility());
    ui.anchored.SetState(app.pathlines.GetAnchor());
}

void isoUIRecenter(AppState& app) {
    double range[2];
    app.volume->GetRange(app.isosurface.GetField(), range);
    app.isosurface.SetValue((range[0] + range[1]) / 2);  // the middle of the range
}

void isoMovebyPercent(AppState& app, double perc) {
    double range[2];
    app.volume->GetRange(app.isosurface.GetField(), range);
    double newval = app.isosurface.GetValue() + (range[1] - range[0]) * perc;
    if (newval < range[0]) newval = range[0];
    if (newval > range[1]) newval = range[1];
    app.isosurface.SetValue(newval);
}

void isouiUpdate(AppState& app) {
    IsosurfacePanel& ui = app.panels.isosurfaceUI;
    ui.byDensity.SetText("Contour Density");
    ui.byEnergy.SetText("Contour Energy");
    ui.byMomentum.SetText("Contour Momentum");
    switch (app.isosurface.GetField()) {
        case fieldDensity:
            ui.byDensity.SetText(">> Contour Density");
            break;
        case fieldEnergy:
            ui.byEnergy.SetText(">> Contour Energy");
            break;
        case fieldMomentum:
            ui.byMomentum.SetText(">> Contour Momentum");
            break;
    }
    char buffer[32];
    FormatBounded(buffer, sizeof buffer, "%f", 6, app.isosurface.GetValue());
    ui.valShow.SetText(buffer);
}
