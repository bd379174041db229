#include "widgets/widgetcontainer.h"

#include <GL/gl.h>

#include "widgets/draw.h"
#include "widgets/glfont.h"

namespace {

const int kSlidePerFrame = 50;  // pixels

}  // namespace

WidgetContainer::WidgetContainer(int w, int h)
    : state(viz_Hidden),
      width(w),
      height(h),
      replacement(nullptr),
      parent(nullptr),
      step(0),
      title{} {}

void WidgetContainer::AddWidget(Widget* obj) {
    obj->SetWindowWidth((float)width);
    obj->SetWindowHeight((float)height);
    obj->SetFont(font);
    children.insert(children.begin(), obj);
}

void WidgetContainer::SetFont(BitmapFont* f) {
    font = f;
    for (Widget* child : children) child->SetFont(f);
}

void WidgetContainer::SetTitle(const char* text) {
    CopyText(title, sizeof title, text);
}

void WidgetContainer::Show() {
    if (state == viz_Visible) return;
    state = viz_Showing;
    step = -width;
}

void WidgetContainer::Hide() {
    if (state == viz_Hidden) return;
    state = viz_Hiding;
    step = 0;
}

void WidgetContainer::SwitchTo(WidgetContainer* obj) {
    replacement = obj;
    Hide();
}

bool WidgetContainer::Advance() {
    switch (state) {
        case viz_Visible:
            step = 0;
            return true;
        case viz_Showing:
            if (step + kSlidePerFrame > 0) {
                step = 0;
                state = viz_Visible;
            } else {
                step += kSlidePerFrame;
            }
            return true;
        case viz_Hiding:
            if (step - kSlidePerFrame >= -width) {
                step -= kSlidePerFrame;
                return true;
            }
            step = -width;
            state = viz_Hidden;
            HandOver();
            return false;
        case viz_Hidden:
        default:
            return false;
    }
}

void WidgetContainer::HandOver() {
    if (replacement) {
        replacement->parent = this;
        replacement->Show();
        replacement = nullptr;
    } else if (parent) {
        parent->Show();
    }
}

void WidgetContainer::Render() {
    if (Advance()) Draw();
}

void WidgetContainer::Draw() {
    glPushMatrix();
    glTranslatef((float)step, wheight - (float)height, 0);

    glColor4f(1, 1, 1, 0.7f);
    FillRect(0, 0, width, height);
    glColor4f(1, 1, 1, 1);
    OutlineRect(0, 0, width, height);

    if (title[0] != '\0' && font) {
        glColor4f(0, 0, 0.5f, 1);
        glRasterPos2f(6, (float)(height - 30));
        font->Print("%s", title);
    }
    for (Widget* child : children) child->Render();
    glPopMatrix();
}

bool WidgetContainer::ProcessClick(int x, int y) {
    if (state != viz_Visible) return false;
    const int top = (int)wheight;
    const int bottom = top - height;
    if (!Within(x, y, 0, width, bottom, top)) return false;
    for (Widget* child : children) {
        if (child->ProcessClick(x, y - bottom)) break;
    }
    return true;
}
