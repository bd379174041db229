// The colour legend: a vertical bar of the surfaces' colour map near the window's right edge,
// with the colouring variable's name above it and five values of its range beside it, the
// minimum at the bottom. It keeps clear of the panel column at the top-left and of the
// frame-rate box and the progress strip along the bottom.
#pragma once

#include <cstddef>

#include "scene/widget.h"

// Values are written in at most this many characters.
const int kLegendLabelChars = 10;
// Names longer than this are cut.
const int kLegendNameChars = 12;
// Labelled values: the minimum, three evenly spaced between, the maximum.
const int kLegendLabels = 5;

// Where the legend's parts lie, in window pixels from the bottom-left corner.
struct LegendLayout {
    bool fits;                       // false when the window has no room for the legend
    int boxX0, boxY0, boxX1, boxY1;  // see-through background; everything lies inside it
    int barX0, barY0, barX1, barY1;  // colour bar; the range's minimum at barY0
    int labelX;                      // left end of the value labels
    int nameX, nameY;                // raster position of the name
};

// The legend's place in a window of this size: at the right edge, vertically centred, clear
// of the 400-pixel panel column (or below the 500-pixel panels when the window is too narrow
// to pass them) and of the bottom 40 pixels.
LegendLayout LayOutLegend(int windowWidth, int windowHeight);

// Writes value in at most kLegendLabelChars characters, with enough significant digits that
// values `step` apart read differently, and a short exponent ("1.5e30", "-2e-30") where
// needed. Values within a billionth of a step of zero are written as "0".
void FormatLegendValue(double value, double step, char* out, size_t size);

class ColorLegendWidget : public Widget {
public:
    ColorLegendWidget();

    // The colouring variable and the range its colours span, as the surfaces map it.
    void SetVariable(const char* name, double minimum, double maximum);
    // Hidden while nothing is coloured.
    void SetShown(bool on) { shown = on; }
    bool GetShown() const { return shown; }
    const char* GetName() const { return name; }
    // Label i from the bottom (0 is the minimum); empty for labels not shown.
    const char* GetLabel(int i) const { return labels[i]; }

    // Draws with the window's current OpenGL context; the colour map texture is made on the
    // first call.
    void Render() override;

private:
    void DrawBar(const LegendLayout& layout);
    void DrawText(const LegendLayout& layout);

    char name[kLegendNameChars + 1];
    char labels[kLegendLabels][kLegendLabelChars + 1];
    bool flat;  // minimum equals maximum: the bar shows the map's first entry only
    bool shown;
    unsigned int texture;  // the colour map as a 1D texture; 0 until the first draw
};
