// A grey push button with a white label that calls a function when clicked. Panels also
// use buttons without a callback to display values.
#pragma once

#include <functional>

#include "scene/widget.h"

class ButtonWidget : public Widget {
public:
    // Lower-left corner (x, y) and size in panel pixels; the label starts as "Button".
    ButtonWidget(int x, int y, int w, int h);

    void SetText(const char* string);  // cut to 127 characters; empty for no label
    void SetCallback(std::function<void()> function) { callback = std::move(function); }
    const char* GetText() const { return text; }

    // Calls the callback if one is set: what a click on the button does.
    void Press();

    void Render() override;
    // Takes clicks inside the rectangle, edges included, and presses the button at once.
    bool ProcessClick(int x, int y) override;
    void InitGL() override {}

private:
    char text[128];
    int xpos;
    int ypos;
    int width;
    int height;
    std::function<void()> callback;
};
