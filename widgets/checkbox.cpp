#include "widgets/checkbox.h"

#include <GL/gl.h>

#include "widgets/draw.h"

namespace {

const int kInset = 4;  // the box is drawn this many pixels inside its square

}  // namespace

CheckBoxWidget::CheckBoxWidget(int x, int y, int h)
    : text("Check"), xpos(x), ypos(y), height(h), value(false) {}

void CheckBoxWidget::SetText(const char* string) {
    CopyText(text, sizeof text, string);
}

void CheckBoxWidget::Render() {
    const int x0 = xpos + kInset, y0 = ypos + kInset;
    const int x1 = xpos + height - kInset, y1 = ypos + height - kInset;
    DrawBevel(x0, y0, x1, y1);
    if (value) {
        glColor4f(1, 1, 1, 1);
        glBegin(GL_LINES);
        glVertex2i(x0, y0);
        glVertex2i(x1, y1);
        glVertex2i(x1, y0);
        glVertex2i(x0, y1);
        glEnd();
    }
    DrawLabel(font, xpos + height + 10, LabelBaseline(ypos, height), text);
}

bool CheckBoxWidget::ProcessClick(int x, int y) {
    if (!Within(x, y, xpos, xpos + height, ypos, ypos + height)) return false;
    Toggle();
    return true;
}

void CheckBoxWidget::Toggle() {
    value = !value;
    if (callback) callback(value);
}
