// The frame-rate readout: a small see-through box in the window's lower-left corner that
// shows how many frames were drawn during the last counting period of just over a second.
#pragma once

#include <cstdint>

#include "scene/widget.h"

class FramerateWidget : public Widget {
public:
    FramerateWidget();

    void Render() override;
    // Takes every click on the box so that it starts no camera drag.
    bool ProcessClick(int x, int y) override;

    // Counts one frame drawn at nowMs (monotonic milliseconds). A period closes once more
    // than 1000 ms have passed since it began; the closing frame counts in the next one.
    void CountFrame(int64_t nowMs);

    int GetFps() const { return fps; }  // -1 until the first period has closed
    int GetFrames() const { return frames; }
    int64_t GetPeriodStart() const { return time; }

private:
    int64_t time;  // monotonic milliseconds at the start of the current period
    int frames;    // frames counted in the current period
    int fps;       // frames of the last closed period, -1 before the first
};
