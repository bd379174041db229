#include "app/holdrepeat.h"

void HoldRepeat::Press(int64_t nowMs, double stepShare) {
    held = true;
    step = stepShare;
    next = nowMs + kHoldDelayMs;
}

int HoldRepeat::StepsDue(int64_t nowMs) {
    if (!held || nowMs <= next) return 0;
    const int64_t due = (nowMs - next - 1) / kHoldPeriodMs + 1;
    next += due * kHoldPeriodMs;
    return due < kHoldCatchUp ? (int)due : kHoldCatchUp;
}
