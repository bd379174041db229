#include "widgets/colorlegend.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "surface/colormap.h"
#include "widgets/draw.h"
#include "widgets/glfont.h"

namespace {

// Keep-out areas of the other overlays, in window pixels.
const int kPanelColumn = 400;  // the widest panel, hanging from the top-left corner
const int kPanelHeight = 500;
const int kBottomStrip = 30;  // the frame-rate box and the progress bar
const int kClearance = 10;    // free space kept around them
const int kEdge = 10;         // from the window's top and right edges

// The legend's own measures.
const int kPad = 8;
const int kBarWidth = 20;
const int kTickLength = 6;
const int kTickGap = 4;
const int kLabelWidth = 175;  // kLegendLabelChars glyphs of the 24-pixel font
const int kLabelDrop = 8;     // baseline below a tick, centring the digits on it
const int kBelowBar = 16;     // the lowest label's lower half and padding
const int kAboveBar = 50;     // the top label's upper half, the name row and padding
const int kNameRise = 24;     // name baseline above the bar, clear of the top label
const int kMinBar = 100;      // a shorter bar crowds its five labels
const int kBoxWidth = 2 * kPad + kBarWidth + kTickLength + kTickGap + kLabelWidth;

// Drops the '+' and the leading zeros of a printf exponent: "1.5e+07" becomes "1.5e7".
void ShortenExponent(char* text) {
    char* e = strchr(text, 'e');
    if (!e) return;
    char* dst = e + 1;
    const char* src = e + 1;
    if (*src == '+') {
        ++src;
    } else if (*src == '-') {
        *dst++ = *src++;
    }
    while (src[0] == '0' && src[1] != '\0') ++src;
    memmove(dst, src, strlen(src) + 1);
}

// Significant digits that tell value apart from its neighbours `step` away; whole numbers
// below a million keep all their digits.
int SignificantDigits(double value, double step) {
    if (!std::isfinite(value) || !std::isfinite(step) || value == 0 || step == 0) return 4;
    const int exponent = (int)std::floor(std::log10(std::fabs(value)));
    int digits = exponent - (int)std::floor(std::log10(step)) + 2;
    if (exponent >= 0 && exponent <= 5) digits = std::max(digits, exponent + 1);
    return std::clamp(digits, 3, 9);
}

}  // namespace

LegendLayout LayOutLegend(int windowWidth, int windowHeight) {
    LegendLayout l{};
    l.boxX1 = windowWidth - kEdge;
    l.boxX0 = l.boxX1 - kBoxWidth;
    // Beside the panel column the legend may reach the top; over it, only below the panels.
    const int bottom = kBottomStrip + kClearance;
    const int top = l.boxX0 > kPanelColumn + kClearance ? windowHeight - kEdge
                                                        : windowHeight - kPanelHeight - kClearance;
    const int bar = std::min(top - bottom - kBelowBar - kAboveBar, windowHeight * 45 / 100);
    l.fits = l.boxX0 >= 0 && bar >= kMinBar;
    if (!l.fits) return l;

    const int boxHeight = bar + kBelowBar + kAboveBar;
    l.boxY0 = std::clamp((windowHeight - boxHeight) / 2, bottom, top - boxHeight);
    l.boxY1 = l.boxY0 + boxHeight;
    l.barX0 = l.boxX0 + kPad;
    l.barX1 = l.barX0 + kBarWidth;
    l.barY0 = l.boxY0 + kBelowBar;
    l.barY1 = l.barY0 + bar;
    l.labelX = l.barX1 + kTickLength + kTickGap;
    l.nameX = l.barX0;
    l.nameY = l.barY1 + kNameRise;
    return l;
}

void FormatLegendValue(double value, double step, char* out, size_t size) {
    step = std::fabs(step);
    // The rounding residue of a range through zero, and -0, read as 0.
    if (value == 0 || (std::isfinite(step) && std::fabs(value) <= step * 1e-9)) value = 0;
    char text[48];
    for (int digits = SignificantDigits(value, step);; --digits) {
        snprintf(text, sizeof text, "%.*g", digits, value);
        ShortenExponent(text);
        if (strlen(text) <= (size_t)kLegendLabelChars || digits == 1) break;
    }
    snprintf(out, size, "%s", text);
}

ColorLegendWidget::ColorLegendWidget() : name{}, labels{}, flat(false), shown(false), texture(0) {}

void ColorLegendWidget::SetVariable(const char* text, double minimum, double maximum) {
    CopyText(name, sizeof name, text);
    // An empty range colours everything with the map's first entry: one value to label.
    flat = minimum == maximum;
    // Interpolating each end separately keeps +-1e308 ranges from overflowing.
    const double step = std::fabs(maximum / 4 - minimum / 4);
    for (int i = 0; i < kLegendLabels; ++i) {
        const double t = (double)i / (kLegendLabels - 1);
        const double value = i == 0                   ? minimum
                             : i == kLegendLabels - 1 ? maximum
                                                      : minimum * (1 - t) + maximum * t;
        labels[i][0] = '\0';
        if (i == 0 || !flat) FormatLegendValue(value, step, labels[i], sizeof labels[i]);
    }
}

void ColorLegendWidget::Render() {
    if (!shown) return;
    const LegendLayout layout = LayOutLegend((int)wwidth, (int)wheight);
    if (!layout.fits) return;

    glColor4f(1, 1, 1, 0.7f);
    FillRect(layout.boxX0, layout.boxY0, layout.boxX1, layout.boxY1);
    glColor4f(1, 1, 1, 1);
    OutlineRect(layout.boxX0, layout.boxY0, layout.boxX1, layout.boxY1);
    DrawBar(layout);
    DrawText(layout);
}

void ColorLegendWidget::DrawBar(const LegendLayout& l) {
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
    if (texture == 0) {
        unsigned char map[kColorMapEntries * 4];
        BuildColorMap(map);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_1D, texture);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage1D(GL_TEXTURE_1D, 0, 4, kColorMapEntries, 0, GL_RGBA, GL_UNSIGNED_BYTE, map);
    }
    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    // Row by row the bar samples the map as the surfaces do: the texture coordinate runs
    // from 0 at the minimum to 1 at the maximum, and pixel centres never reach 1 itself.
    const float top = flat ? 0.0f : 1.0f;
    glBegin(GL_QUADS);
    glTexCoord1f(0);
    glVertex2i(l.barX0, l.barY0);
    glVertex2i(l.barX1, l.barY0);
    glTexCoord1f(top);
    glVertex2i(l.barX1, l.barY1);
    glVertex2i(l.barX0, l.barY1);
    glEnd();
    glPopAttrib();
}

void ColorLegendWidget::DrawText(const LegendLayout& l) {
    if (!font) return;
    glColor4f(0, 0, 0.5f, 1);
    glBegin(GL_LINES);
    for (int i = 0; i < kLegendLabels; ++i) {
        if (labels[i][0] == '\0') continue;
        const int y = l.barY0 + (l.barY1 - l.barY0) * i / (kLegendLabels - 1);
        glVertex2i(l.barX1, y);
        glVertex2i(l.barX1 + kTickLength, y);
    }
    glEnd();
    for (int i = 0; i < kLegendLabels; ++i) {
        if (labels[i][0] == '\0') continue;
        const int y = l.barY0 + (l.barY1 - l.barY0) * i / (kLegendLabels - 1);
        glRasterPos2f((float)l.labelX, (float)(y - kLabelDrop));
        font->Print("%s", labels[i]);
    }
    if (name[0] != '\0') {
        glRasterPos2f((float)l.nameX, (float)l.nameY);
        font->Print("%s", name);
    }
}
