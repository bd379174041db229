#include "scene/pathlineview.h"

#include <GL/freeglut.h>

namespace {

// One white line strip through the line's points; nothing at all for an empty line.
void DrawLine(const PathLine& line) {
    if (line.Points().empty()) return;
    glBegin(GL_LINE_STRIP);
    glColor4f(1, 1, 1, 1);
    for (const Particle& p : line.Points()) glVertex3dv(p.position);
    glEnd();
}

}  // namespace

void PathLineView::Render() {
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    if (generator.GetGhostVisibility()) {
        double source[3];
        generator.GetStart(source);
        glPushMatrix();
        glTranslated(source[0], source[1], source[2]);
        glColor4f(1, 0, 0, 0.5f);
        glutWireSphere(generator.GetRadius(), 5, 5);
        glPopMatrix();
    }
    for (int i = 0; i < generator.GetLineCount(); ++i) DrawLine(generator.GetLine(i));
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_1D);
}
