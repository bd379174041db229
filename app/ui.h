// The four control panels: main menu, city options, path lines and isosurface.
#pragma once

#include <cstddef>

#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/widgetcontainer.h"

extern WidgetContainer mainUI, contextUI, pathlineUI, isosurfaceUI;

// Builds the four panels and adds them to the scene.
void BuildUI();
void BuildMainMenu(WidgetContainer* ui);
void BuildContextUI(WidgetContainer* ui);
void BuildPathLineUI(WidgetContainer* ui);
void BuildIsosurfaceUI(WidgetContainer* ui);

void exitApp();
void openContextUI();
void openPathLineUI();
void openIsosurfaceUI();

void closeContextUI();
void contextUIColorByNone();
void contextUIColorByDensity();
void contextUIColorByEnergy();
void contextUIColorByMomentum();
void contextUIShowCeiling(bool checked);
void contextUIShowWall(bool checked);
void contextUIShowCity(bool checked);
void contextUIShowFloor(bool checked);
void contextUIWireframe(bool checked);
void contextUIUpdate();

void closePathLineUI();
void pluiCountDecrement();
void pluiCountIncrement();
void pluiRadiusDecrement();
void pluiRadiusIncrement();
void pluiRadiusDecrement5();
void pluiRadiusIncrement5();
void pluiGenerate();
void pluiShowGhost(bool checked);
void pluiAnchor(bool checked);
void pluiUpdate();

void isoUIContourByDensity();
void isoUIContourByEnergy();
void isoUIContourByMomentum();
void isouiValDecrement();
void isouiValDecrement5();
void isouiValIncrement();
void isouiValIncrement5();
void isouiGenerate();
void isouiClear();
void isouiClose();
void isoUIRecenter();
void isoMovebyPercent(double perc);
void isouiUpdate();

// Formats `value` with `format` into `buffer`; when that would not fit, falls back to
// scientific notation with `digits` decimals, so the label stays whole and bounded.
void FormatBounded(char* buffer, size_t size, const char* format, int digits, double value);
