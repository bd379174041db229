// The help overlay: a see-through panel that lists the mouse and keys, shown and hidden by
// the user (h or F1). It is drawn over the other overlays when it comes first in the scene's
// widget list, that is when it is added to the scene before them.
#pragma once

#include "scene/widget.h"

// The panel's rectangle in window pixels from the bottom-left corner.
struct HelpRect {
    int x0, y0, x1, y1;
};

// Centred vertically, and horizontally in the room right of the panel column, or in the
// whole window when that room is too narrow. A window smaller than the panel clips its right
// and bottom parts, keeping the title and the first lines in view.
HelpRect LayOutHelp(int windowWidth, int windowHeight);

class HelpOverlayWidget : public Widget {
public:
    HelpOverlayWidget() : shown(false) {}

    void Toggle() { shown = !shown; }
    void SetShown(bool on) { shown = on; }
    bool GetShown() const { return shown; }

    void Render() override;
    // While shown, takes clicks on the panel so that they start no camera drag.
    bool ProcessClick(int x, int y) override;

private:
    bool shown;
};
