// A titled, see-through panel of child widgets that hangs from the window's top-left
// corner and slides in from the left edge and out again, 50 pixels per frame. Panels take
// turns: SwitchTo slides this panel out and then the replacement in; closing the
// replacement with Hide slides this panel back in.
#pragma once

#include <vector>

#include "scene/widget.h"

enum vizState {
    viz_Visible = 0,  // fully shown, takes clicks
    viz_Showing = 1,  // sliding in
    viz_Hidden = 2,   // off screen, not drawn
    viz_Hiding = 3,   // sliding out
};

class WidgetContainer : public Widget {
public:
    WidgetContainer(int w, int h);

    // Puts obj at the front of the children (the last added is drawn last and asked first)
    // and gives it the panel's size, so that it works in panel coordinates.
    void AddWidget(Widget* obj);
    void SetTitle(const char* text);  // cut to 127 characters
    void Show();
    void Hide();
    // Slides this panel out and obj in once it is gone. On a hidden panel obj is only
    // remembered until this panel is next shown and hidden.
    void SwitchTo(WidgetContainer* obj);
    void SetParent(WidgetContainer* obj) { parent = obj; }
    bool Visible() const { return state == viz_Visible; }

    // Moves the slide on by one frame and hands over at the end of a slide out; false when
    // the panel is not to be drawn this frame.
    bool Advance();
    void Render() override;
    void InitGL() override {}
    // Hands the font on to the children, those added later included.
    void SetFont(BitmapFont* f) override;
    // Consumes every click on a fully shown panel, offering it to the children first in
    // panel coordinates; takes nothing while hidden or sliding.
    bool ProcessClick(int x, int y) override;

    vizState GetState() const { return state; }
    int GetStep() const { return step; }
    const char* GetTitle() const { return title; }
    WidgetContainer* GetParent() const { return parent; }
    WidgetContainer* GetReplacement() const { return replacement; }

private:
    void HandOver();
    void Draw();

    std::vector<Widget*> children;  // newest first, not owned
    vizState state;
    int width;
    int height;
    WidgetContainer* replacement;  // to slide in once this panel is out
    WidgetContainer* parent;       // to slide back in when this panel is closed
    int step;  // left edge in pixels: -width is fully out, 0 flush with the window edge
    char title[128];
};
