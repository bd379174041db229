// The control panels: building them, their callbacks, and the refreshing of their labels
// from the model. Every function acts on the one application state it is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "surface/displaylist.h"

struct AppState;

// Builds the four panels and adds them to the scene: main menu, city options, path lines,
// isosurface, in this order.
void BuildUI(AppState& app);

// What the panels do to the model. The long work goes to the worker thread, behind the work
// asked for before; its result shows from the first frame after it is done.
// Colours all four surfaces by `color` and rebuilds their display lists.
void ColorCity(AppState& app, DisplayListColor color);
// Extracts the isosurface of the chosen variable at the chosen value and shows it.
void GenerateIsosurface(AppState& app);
// Replaces the path lines by a new set seeded around the generator's source.
void GeneratePathLines(AppState& app);
// While a value stepper is held, repeats its step as they fall due at nowMs, and asks for
// the surface at the new value; steps taken while an extraction runs go into one next
// extraction. Called on every idle turn.
void RepeatHeldStep(AppState& app, int64_t nowMs);
// Shows the legend for the surfaces' colouring and range, or hides it without colouring.
void UpdateLegend(AppState& app);
// Puts the path line source on the camera's focus while it moves with the view; called
// before each frame is drawn.
void FollowView(AppState& app);

// Puts the isosurface value in the middle of its variable's range.
void isoUIRecenter(AppState& app);
// Moves the isosurface value by `perc` of its variable's range, clamped into the range.
void isoMovebyPercent(AppState& app, double perc);

// Bring each panel's labels and check marks in line with the model.
void contextUIUpdate(AppState& app);
void pluiUpdate(AppState& app);
void isouiUpdate(AppState& app);

// Formats `value` with `format` into `buffer`; when that would not fit, falls back to
// scientific notation with `digits` decimals, so the label stays whole and bounded.
void FormatBounded(char* buffer, size_t size, const char* format, int digits, double value);
