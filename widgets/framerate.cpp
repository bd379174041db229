#include "widgets/framerate.h"

#include <GL/gl.h>

#include "widgets/clock.h"
#include "widgets/draw.h"
#include "widgets/glfont.h"

namespace {

const int kBoxWidth = 100;
const int kBoxHeight = 30;
const int64_t kPeriodMs = 1000;

}  // namespace

FramerateWidget::FramerateWidget() : time(MonotonicMillis()), frames(0), fps(-1) {}

void FramerateWidget::CountFrame(int64_t nowMs) {
    if (nowMs - time > kPeriodMs) {
        fps = frames;
        frames = 0;
        time = nowMs;
    }
    ++frames;
}

void FramerateWidget::Render() {
    CountFrame(MonotonicMillis());

    glColor4f(1, 1, 1, 0.7f);
    FillRect(0, 0, kBoxWidth, kBoxHeight);
    glColor4f(1, 1, 1, 1);
    OutlineRect(0, 0, kBoxWidth, kBoxHeight);

    if (!font) return;
    glColor4f(0, 0, 0.5f, 1);
    glRasterPos2f(6, 6);
    if (fps == -1) {
        font->Print("??? f/s");
    } else {
        font->Print("%i f/s", fps);
    }
}

bool FramerateWidget::ProcessClick(int x, int y) {
    return Within(x, y, 0, kBoxWidth, 0, kBoxHeight);
}
