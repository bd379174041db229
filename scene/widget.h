// Interface of every 2D overlay element. Widgets draw and take clicks in pixels with the
// origin at the bottom-left corner of the area they live in (the window or their panel).
#pragma once

class BitmapFont;

class Widget {
public:
    virtual ~Widget() = default;

    virtual void Render() {}
    // Offered a left-button press; true when the widget took it.
    virtual bool ProcessClick(int x, int y) {
        (void)x, (void)y;
        return false;
    }
    virtual void InitGL() {}
    // The font that labels are drawn in; without one no text is drawn. A panel hands its
    // font on to its children.
    virtual void SetFont(BitmapFont* f) { font = f; }

    void SetWindowWidth(float w) { wwidth = w; }
    void SetWindowHeight(float h) { wheight = h; }
    float GetWindowWidth() const { return wwidth; }
    float GetWindowHeight() const { return wheight; }

protected:
    // Inclusive on all four edges: a rectangle of width w starting at x0 spans w + 1 columns.
    static bool Within(int x, int y, int x0, int x1, int y0, int y1) {
        return x >= x0 && x <= x1 && y >= y0 && y <= y1;
    }

    float wwidth = -1;   // width of the area the widget lives in, -1 until set
    float wheight = -1;  // height of that area, -1 until set
    BitmapFont* font = nullptr;
};
