// A thin progress bar along the bottom of the window, right of the frame-rate box, shown
// while long work runs: the part done (blocks or lines) filled, the rest left open.
#pragma once

#include "scene/widget.h"

class ProgressBarWidget : public Widget {
public:
    ProgressBarWidget() : done(0), total(0) {}

    // `done` of `total` units are finished; a total of 0 or less hides the bar.
    void SetProgress(long doneUnits, long totalUnits) {
        done = doneUnits;
        total = totalUnits;
    }
    void Clear() { SetProgress(0, 0); }
    bool Shown() const { return total > 0; }
    long GetDone() const { return done; }
    long GetTotal() const { return total; }

    void Render() override;

private:
    long done;
    long total;
};

// Pixels of a bar `length` pixels long that show `done` of `total` (clamped to the bar).
int FilledLength(long done, long total, int length);
