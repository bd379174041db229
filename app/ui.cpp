#include "app/ui.h"

#include <cstdio>
#include <cstdlib>

#include "app/globals.h"

WidgetContainer mainUI(200, 500);
WidgetContainer contextUI(400, 500);
WidgetContainer pathlineUI(400, 500);
WidgetContainer isosurfaceUI(400, 500);

ButtonWidget *btnAppExit, *btnOpenContextUI, *btnOpenPathLineUI, *btnOpenIsosurfaceUI;

ButtonWidget *btnCloseContextUI, *btnContextUIColorByNone, *btnContextUIColorByDensity,
    *btnContextUIColorByEnergy, *btnContextUIColorByMomentum;
CheckBoxWidget *btnContextUIShowCeiling, *btnContextUIShowWall, *btnContextUIShowCity,
    *btnContextUIShowFloor, *btnContextUIWireframe;

ButtonWidget *btnClosePathLineUI, *btnPLUICountDec, *btnPLUICountInc, *btnPLUICountShow,
    *btnPLUIRadiusDec, *btnPLUIRadiusDec5, *btnPLUIRadiusInc, *btnPLUIRadiusInc5,
    *btnPLUIRadiusShow, *btnPLUIGenerate;
CheckBoxWidget *btnPLUIShowGhost, *btnPLUIAnchored;

ButtonWidget *btnCloseIsosurfaceUI, *btnIsoUIByDensity, *btnIsoUIByEnergy, *btnIsoUIByMomentum,
    *btnIsoUIValDec, *btnIsoUIValDec5, *btnIsoUIValInc, *btnIsoUIValInc5, *btnIsoUIValShow,
    *btnIsoUIGenerate, *btnIsoUIClear;

namespace {

ButtonWidget* MakeButton(int x, int y, int w, const char* text, void (*callback)()) {
    ButtonWidget* b = new ButtonWidget(x, y, w, 35);
    b->SetText(text);
    b->SetCallback(callback);
    return b;
}

CheckBoxWidget* MakeCheckBox(int x, int y, const char* text, void (*callback)(bool)) {
    CheckBoxWidget* c = new CheckBoxWidget(x, y, 35);
    c->SetText(text);
    c->SetCallback(callback);
    return c;
}

void ColorCity(DisplayListColor color) {
    for (DisplayListObject* surface : context) {
        surface->SetColorMap(color);
        surface->InitGL();
    }
    contextUIUpdate();
}

void ShowSurface(int index, bool checked) {
    context[index]->SetVisibility(checked);
    contextUIUpdate();
}

void StepRadius(double delta) {
    pathline->SetRadius(pathline->GetRadius() + delta);
    pluiUpdate();
}

void ContourBy(FieldVar field) {
    isosurface->SetField(field);
    isoUIRecenter();
    isouiUpdate();
}

void StepValue(double perc) {
    isoMovebyPercent(perc);
    isouiUpdate();
}

}  // namespace

void BuildUI() {
    BuildMainMenu(&mainUI);
    BuildContextUI(&contextUI);
    BuildPathLineUI(&pathlineUI);
    BuildIsosurfaceUI(&isosurfaceUI);
    World.AddUIElement(&mainUI);
    World.AddUIElement(&contextUI);
    World.AddUIElement(&pathlineUI);
    World.AddUIElement(&isosurfaceUI);
}

void BuildMainMenu(WidgetContainer* ui) {
    btnAppExit = MakeButton(10, 10, 180, "Exit", exitApp);
    btnOpenContextUI = MakeButton(10, 415, 180, "City Options", openContextUI);
    btnOpenPathLineUI = MakeButton(10, 375, 180, "PathLine", openPathLineUI);
    btnOpenIsosurfaceUI = MakeButton(10, 335, 180, "Isosurface", openIsosurfaceUI);
    ui->SetTitle("Main");
    ui->Show();
    ui->AddWidget(btnAppExit);
    ui->AddWidget(btnOpenContextUI);
    ui->AddWidget(btnOpenPathLineUI);
    ui->AddWidget(btnOpenIsosurfaceUI);
}

void BuildContextUI(WidgetContainer* ui) {
    btnCloseContextUI = MakeButton(10, 10, 380, "<< Back", closeContextUI);
    btnContextUIColorByNone = MakeButton(10, 415, 380, "No Color", contextUIColorByNone);
    btnContextUIColorByDensity =
        MakeButton(10, 375, 380, "Color By Density", contextUIColorByDensity);
    btnContextUIColorByEnergy = MakeButton(10, 335, 380, "Color By Energy", contextUIColorByEnergy);
    btnContextUIColorByMomentum =
        MakeButton(10, 295, 380, "Color By Momentum", contextUIColorByMomentum);
    btnContextUIShowCeiling = MakeCheckBox(10, 255, "Show Ceiling", contextUIShowCeiling);
    btnContextUIShowWall = MakeCheckBox(10, 215, "Show Walls", contextUIShowWall);
    btnContextUIShowCity = MakeCheckBox(10, 175, "Show City", contextUIShowCity);
    btnContextUIShowFloor = MakeCheckBox(10, 135, "Show Floor", contextUIShowFloor);
    btnContextUIWireframe = MakeCheckBox(10, 100, "Render Wireframe", contextUIWireframe);
    ui->SetTitle("City Options");
    Widget* children[] = {btnCloseContextUI,           btnContextUIColorByNone,
                          btnContextUIColorByDensity,  btnContextUIColorByEnergy,
                          btnContextUIColorByMomentum, btnContextUIShowCeiling,
                          btnContextUIShowWall,        btnContextUIShowCity,
                          btnContextUIShowFloor,       btnContextUIWireframe};
    for (Widget* w : children) ui->AddWidget(w);
}

void BuildPathLineUI(WidgetContainer* ui) {
    btnClosePathLineUI = MakeButton(10, 10, 380, "<< Back", closePathLineUI);
    ui->SetTitle("Pathlines");
    btnPLUICountDec = MakeButton(10, 410, 35, "-", pluiCountDecrement);
    btnPLUICountInc = MakeButton(355, 410, 35, "+", pluiCountIncrement);
    btnPLUICountShow = MakeButton(45, 410, 310, "Count", nullptr);
    btnPLUIRadiusDec = MakeButton(10, 370, 35, "-", pluiRadiusDecrement);
    btnPLUIRadiusDec5 = MakeButton(45, 370, 45, "-5", pluiRadiusDecrement5);
    btnPLUIRadiusInc = MakeButton(355, 370, 35, "+", pluiRadiusIncrement);
    btnPLUIRadiusInc5 = MakeButton(310, 370, 45, "+5", pluiRadiusIncrement5);
    btnPLUIRadiusShow = MakeButton(90, 370, 220, "Radius", nullptr);
    btnPLUIGenerate = MakeButton(10, 330, 380, "Generate", pluiGenerate);
    btnPLUIShowGhost = MakeCheckBox(10, 200, "Show Source", pluiShowGhost);
    btnPLUIAnchored = MakeCheckBox(10, 165, "Moving with View", pluiAnchor);
    Widget* children[] = {btnClosePathLineUI, btnPLUIGenerate,   btnPLUICountShow, btnPLUICountInc,
                          btnPLUICountDec,    btnPLUIRadiusShow, btnPLUIRadiusInc, btnPLUIRadiusDec,
                          btnPLUIRadiusInc5,  btnPLUIRadiusDec5, btnPLUIShowGhost, btnPLUIAnchored};
    for (Widget* w : children) ui->AddWidget(w);
}

void BuildIsosurfaceUI(WidgetContainer* ui) {
    btnCloseIsosurfaceUI = new ButtonWidget(10, 10, 380, 35);
    btnIsoUIByDensity = MakeButton(10, 375, 380, "Contour Density", isoUIContourByDensity);
    btnIsoUIByEnergy = MakeButton(10, 335, 380, "Contour Energy", isoUIContourByEnergy);
    btnIsoUIByMomentum = MakeButton(10, 295, 380, "Contour Momentum", isoUIContourByMomentum);
    btnIsoUIValDec = MakeButton(10, 415, 35, "-", isouiValDecrement);
    btnIsoUIValDec5 = MakeButton(45, 415, 45, "--", isouiValDecrement5);
    btnIsoUIValInc = MakeButton(355, 415, 35, "+", isouiValIncrement);
    btnIsoUIValInc5 = MakeButton(310, 415, 45, "++", isouiValIncrement5);
    btnIsoUIValShow = new ButtonWidget(90, 415, 220, 35);
    btnIsoUIGenerate = MakeButton(10, 100, 380, "Generate", isouiGenerate);
    btnIsoUIClear = MakeButton(10, 65, 380, "Clear", isouiClear);
    btnCloseIsosurfaceUI->SetText("<< Back");
    btnCloseIsosurfaceUI->SetCallback(isouiClose);
    Widget* children[] = {btnCloseIsosurfaceUI, btnIsoUIByDensity, btnIsoUIByEnergy,
                          btnIsoUIByMomentum,   btnIsoUIValDec,    btnIsoUIValDec5,
                          btnIsoUIValInc,       btnIsoUIValInc5,   btnIsoUIValShow,
                          btnIsoUIGenerate,     btnIsoUIClear};
    for (Widget* w : children) ui->AddWidget(w);
}

void exitApp() {
    exit(0);
}

void openContextUI() {
    mainUI.SwitchTo(&contextUI);
    contextUIUpdate();
}

void openPathLineUI() {
    mainUI.SwitchTo(&pathlineUI);
    pluiUpdate();
}

void openIsosurfaceUI() {
    mainUI.SwitchTo(&isosurfaceUI);
    isouiUpdate();
}

void closeContextUI() {
    contextUI.Hide();
}
void contextUIColorByNone() {
    ColorCity(colorNone);
}
void contextUIColorByDensity() {
    ColorCity(colorDensity);
}
void contextUIColorByEnergy() {
    ColorCity(colorEnergy);
}
void contextUIColorByMomentum() {
    ColorCity(colorMomentum);
}
void contextUIShowCeiling(bool checked) {
    ShowSurface(1, checked);
}
void contextUIShowWall(bool checked) {
    ShowSurface(0, checked);
}
void contextUIShowCity(bool checked) {
    ShowSurface(2, checked);
}
void contextUIShowFloor(bool checked) {
    ShowSurface(3, checked);
}

void contextUIWireframe(bool checked) {
    for (DisplayListObject* surface : context) surface->SetWireframe(checked);
    contextUIUpdate();
}

void contextUIUpdate() {
    btnContextUIColorByNone->SetText("No Color");
    btnContextUIColorByDensity->SetText("Color By Density");
    btnContextUIColorByEnergy->SetText("Color By Energy");
    btnContextUIColorByMomentum->SetText("Color By Momentum");
    switch (context[0]->GetColorMap()) {
        case colorNone:
            btnContextUIColorByNone->SetText(">> No Color");
            break;
        case colorDensity:
            btnContextUIColorByDensity->SetText(">> Color By Density");
            break;
        case colorEnergy:
            btnContextUIColorByEnergy->SetText(">> Color By Energy");
            break;
        case colorMomentum:
            btnContextUIColorByMomentum->SetText(">> Color By Momentum");
            break;
    }
    btnContextUIShowCeiling->SetState(context[1]->GetVisibility());
    btnContextUIShowWall->SetState(context[0]->GetVisibility());
    btnContextUIShowCity->SetState(context[2]->GetVisibility());
    btnContextUIShowFloor->SetState(context[3]->GetVisibility());
    btnContextUIWireframe->SetState(context[0]->GetWireframe());
}

void closePathLineUI() {
    pathlineUI.Hide();
}

// The count stops at 0: a negative number of path lines means nothing.
void pluiCountDecrement() {
    if (pathline->GetCount() > 0) pathline->SetCount(pathline->GetCount() - 1);
    pluiUpdate();
}

void pluiCountIncrement() {
    pathline->SetCount(pathline->GetCount() + 1);
    pluiUpdate();
}

void pluiRadiusDecrement() {
    StepRadius(-0.25);
}
void pluiRadiusIncrement() {
    StepRadius(0.25);
}
void pluiRadiusDecrement5() {
    StepRadius(-5);
}
void pluiRadiusIncrement5() {
    StepRadius(5);
}
void pluiGenerate() {
    pathline->Generate();
}

void pluiShowGhost(bool checked) {
    pathline->SetGhostVisibility(checked);
    pluiUpdate();
}

void pluiAnchor(bool checked) {
    pathline->Anchor(checked);
    pluiUpdate();
}

void FormatBounded(char* buffer, size_t size, const char* format, int digits, double value) {
    int n = snprintf(buffer, size, format, value);
    if (n < 0 || (size_t)n >= size) snprintf(buffer, size, "%.*e", digits, value);
}

void pluiUpdate() {
    char buffer[15];
    FormatBounded(buffer, sizeof buffer, "%.2f", 4, pathline->GetRadius());
    btnPLUIRadiusShow->SetText(buffer);
    snprintf(buffer, sizeof buffer, "%i", pathline->GetCount());
    btnPLUICountShow->SetText(buffer);
    btnPLUIShowGhost->SetState(pathline->GetGhostVisibility());
    btnPLUIAnchored->SetState(pathline->GetAnchor());
}

void isoUIContourByDensity() {
    ContourBy(fieldDensity);
}
void isoUIContourByEnergy() {
    ContourBy(fieldEnergy);
}
void isoUIContourByMomentum() {
    ContourBy(fieldMomentum);
}
void isouiValDecrement() {
    StepValue(-0.01);
}
void isouiValDecrement5() {
    StepValue(-0.05);
}
void isouiValIncrement() {
    StepValue(0.01);
}
void isouiValIncrement5() {
    StepValue(0.05);
}
void isouiGenerate() {
    isosurface->Generate();
}
void isouiClear() {
    isosurface->PurgeIsosurface();
}
void isouiClose() {
    isosurfaceUI.Hide();
}

void isoUIRecenter() {
    double range[2];
    volume->GetRange(isosurface->GetField(), range);
    isosurface->SetValue((range[0] + range[1]) / 2);  // the middle of the range
}

void isoMovebyPercent(double perc) {
    double range[2];
    volume->GetRange(isosurface->GetField(), range);
    double newval = isosurface->GetValue() + (range[1] - range[0]) * perc;
    if (newval < range[0]) newval = range[0];
    if (newval > range[1]) newval = range[1];
    isosurface->SetValue(newval);
}

void isouiUpdate() {
    btnIsoUIByDensity->SetText("Contour Density");
    btnIsoUIByEnergy->SetText("Contour Energy");
    btnIsoUIByMomentum->SetText("Contour Momentum");
    switch (isosurface->GetField()) {
        case fieldDensity:
            btnIsoUIByDensity->SetText(">> Contour Density");
            break;
        case fieldEnergy:
            btnIsoUIByEnergy->SetText(">> Contour Energy");
            break;
        case fieldMomentum:
            btnIsoUIByMomentum->SetText(">> Contour Momentum");
            break;
    }
    char buffer[32];
    FormatBounded(buffer, sizeof buffer, "%f", 6, isosurface->GetValue());
    btnIsoUIValShow->SetText(buffer);
}
