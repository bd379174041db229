#include "widgets/button.h"

#include "widgets/draw.h"

ButtonWidget::ButtonWidget(int x, int y, int w, int h)
    : text("Button"), xpos(x), ypos(y), width(w), height(h) {}

void ButtonWidget::SetText(const char* string) {
    CopyText(text, sizeof text, string);
}

void ButtonWidget::Render() {
    DrawBevel(xpos, ypos, xpos + width, ypos + height);
    DrawLabel(font, xpos + 10, LabelBaseline(ypos, height), text);
}

bool ButtonWidget::ProcessClick(int x, int y) {
    if (!Within(x, y, xpos, xpos + width, ypos, ypos + height)) return false;
    Press();
    return true;
}

void ButtonWidget::Press() {
    if (callback) callback();
}
