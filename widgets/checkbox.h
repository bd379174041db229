// A small grey square with a label to its right; a click toggles a white cross in it and
// reports the new value.
#pragma once

#include <functional>

#include "scene/widget.h"

class CheckBoxWidget : public Widget {
public:
    // Lower-left corner (x, y) of an h x h square in panel pixels; starts unchecked with the
    // label "Check".
    CheckBoxWidget(int x, int y, int h);

    void SetText(const char* string);  // cut to 127 characters; empty for no label
    void SetCallback(std::function<void(bool)> function) { callback = std::move(function); }
    // Sets the value silently, to bring the box in line with the model.
    void SetState(bool state) { value = state; }
    bool GetState() const { return value; }
    const char* GetText() const { return text; }

    // Flips the value and reports the new one: what a click on the square does.
    void Toggle();

    void Render() override;
    // Only the square is live (edges included); the label takes no clicks.
    bool ProcessClick(int x, int y) override;
    void InitGL() override {}

private:
    char text[128];
    int xpos;
    int ypos;
    int height;
    std::function<void(bool)> callback;
    bool value;
};
