// Press and hold on a value stepper: after a pause the step repeats at a steady rate for as
// long as the button is held.
#pragma once

#include <cstdint>

// A hold repeats once it has lasted more than this...
const int64_t kHoldDelayMs = 400;
// ... and then once per this many milliseconds: five times a second.
const int64_t kHoldPeriodMs = 200;
// A frame that comes late makes up for at most this many missed repeats.
const int kHoldCatchUp = 5;

class HoldRepeat {
public:
    // The stepper was pressed at nowMs (its click made the first step); `step` is what one
    // repeat adds, as a share of the variable's range.
    void Press(int64_t nowMs, double step);
    // The mouse button went up, or the work was cancelled.
    void Release() { held = false; }
    bool Held() const { return held; }
    double Step() const { return step; }

    // How many repeats fall due at nowMs since the last call; 0 while nothing is held.
    int StepsDue(int64_t nowMs);

private:
    bool held = false;
    double step = 0;
    int64_t next = 0;  // when the next repeat falls due
};
