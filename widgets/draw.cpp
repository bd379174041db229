#include "widgets/draw.h"

#include <GL/gl.h>

#include <cstdio>

#include "widgets/glfont.h"

namespace {

// Glyph height the label placement centres on.
const int kFontHeight = 24;

}  // namespace

void FillRect(int x0, int y0, int x1, int y1) {
    glBegin(GL_QUADS);
    glVertex2i(x0, y0);
    glVertex2i(x1, y0);
    glVertex2i(x1, y1);
    glVertex2i(x0, y1);
    glEnd();
}

void OutlineRect(int x0, int y0, int x1, int y1) {
    glBegin(GL_LINE_STRIP);
    glVertex2i(x0, y0);
    glVertex2i(x1, y0);
    glVertex2i(x1, y1);
    glVertex2i(x0, y1);
    glVertex2i(x0, y0);
    glEnd();
}

void DrawBevel(int x0, int y0, int x1, int y1) {
    glColor4f(0.7f, 0.7f, 0.7f, 1);
    FillRect(x0, y0, x1, y1);

    glColor4f(0.8f, 0.8f, 0.8f, 1);
    glBegin(GL_LINE_STRIP);
    glVertex2i(x0, y1);
    glVertex2i(x1, y1);
    glVertex2i(x1, y0);
    glEnd();

    glColor4f(0.6f, 0.6f, 0.6f, 1);
    glBegin(GL_LINE_STRIP);
    glVertex2i(x0, y1);
    glVertex2i(x0, y0);
    glVertex2i(x1, y0);
    glEnd();
}

void DrawLabel(BitmapFont* font, int x, int y, const char* text) {
    if (!font || text[0] == '\0') return;
    glColor4f(1, 1, 1, 1);
    glRasterPos2f((float)x, (float)y);
    font->Print("%s", text);
}

int LabelBaseline(int y, int h) {
    return y + (h - kFontHeight) / 2 + 5;
}

void CopyText(char* dst, size_t size, const char* text) {
    snprintf(dst, size, "%s", text ? text : "");
}
