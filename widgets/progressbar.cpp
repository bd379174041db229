#include "widgets/progressbar.h"

#include <GL/gl.h>

#include "widgets/draw.h"

namespace {

const int kLeft = 110;  // clear of the 100-pixel frame-rate box
const int kEdge = 10;   // from the window's right edge
const int kBottom = 11;
const int kHeight = 8;  // centred on the 30-pixel frame-rate box
const int kMinLength = 20;

}  // namespace

int FilledLength(long done, long total, int length) {
    if (total <= 0 || done <= 0 || length <= 0) return 0;
    if (done >= total) return length;
    return (int)((double)done / (double)total * length);
}

void ProgressBarWidget::Render() {
    const int x1 = (int)wwidth - kEdge;
    if (!Shown() || x1 - kLeft < kMinLength) return;
    const int y1 = kBottom + kHeight;
    glColor4f(1, 1, 1, 0.7f);
    FillRect(kLeft, kBottom, x1, y1);
    glColor4f(0, 0, 0.5f, 1);
    const int filled = FilledLength(done, total, x1 - kLeft);
    if (filled > 0) FillRect(kLeft, kBottom, kLeft + filled, y1);
    glColor4f(1, 1, 1, 1);
    OutlineRect(kLeft, kBottom, x1, y1);
}
