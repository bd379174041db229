#include "widgets/helpoverlay.h"

#include <GL/gl.h>

#include <algorithm>

#include "widgets/draw.h"
#include "widgets/glfont.h"
#include "widgets/keybindings.h"

namespace {

const int kWidth = 570;
const int kPanelColumn = 410;  // the widest panel and a gap
const int kPad = 16;
const int kTitleHeight = 46;
const int kLineHeight = 28;
const int kActionX = 190;  // the action column, from the panel's left edge
const int kLines = sizeof kBindings / sizeof kBindings[0] + 1;  // the bindings and the note
const int kHeight = kTitleHeight + kLines * kLineHeight + kPad;

}  // namespace

HelpRect LayOutHelp(int windowWidth, int windowHeight) {
    HelpRect r;
    // Right of the panels when there is room, so that both can be read and used.
    const int left = windowWidth - kPanelColumn >= kWidth ? kPanelColumn : 0;
    r.x0 = std::max(0, left + (windowWidth - left - kWidth) / 2);
    r.x1 = r.x0 + kWidth;
    r.y1 = std::min(windowHeight, (windowHeight + kHeight) / 2);
    r.y0 = r.y1 - kHeight;
    return r;
}

void HelpOverlayWidget::Render() {
    if (!shown) return;
    const HelpRect r = LayOutHelp((int)wwidth, (int)wheight);
    glColor4f(1, 1, 1, 0.85f);
    FillRect(r.x0, r.y0, r.x1, r.y1);
    glColor4f(1, 1, 1, 1);
    OutlineRect(r.x0, r.y0, r.x1, r.y1);

    if (!font) return;
    glColor4f(0, 0, 0.5f, 1);
    int y = r.y1 - 32;
    glRasterPos2f((float)(r.x0 + kPad), (float)y);
    font->Print("Mouse and keys");
    for (const Binding& b : kBindings) {
        y -= kLineHeight;
        glRasterPos2f((float)(r.x0 + kPad), (float)y);
        font->Print("%s", b.input);
        glRasterPos2f((float)(r.x0 + kActionX), (float)y);
        font->Print("%s", b.action);
    }
    y -= kLineHeight;
    glRasterPos2f((float)(r.x0 + kPad), (float)y);
    font->Print("%s", kDragNote);
}

bool HelpOverlayWidget::ProcessClick(int x, int y) {
    if (!shown) return false;
    const HelpRect r = LayOutHelp((int)wwidth, (int)wheight);
    return Within(x, y, r.x0, r.x1, r.y0, r.y1);
}
