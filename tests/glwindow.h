// The window whose OpenGL context the tests draw in and read pixels back from.
#pragma once

#include <GL/freeglut.h>
#include <gtest/gtest.h>

// Opens a double-buffered window of the given size at (0, 0) before the first test, lets it
// be mapped, and sets up reading back from the buffer that is drawn into.
class GlWindow : public testing::Environment {
public:
    GlWindow(int width, int height) : width(width), height(height) {}

    void SetUp() override {
        int argc = 1;
        char name[] = "velmora-test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(width, height);
        glutInitWindowPosition(0, 0);
        glutCreateWindow("test");
        glutDisplayFunc(NoDisplay);
        for (int i = 0; i < 10; ++i) glutMainLoopEvent();
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
    }

private:
    static void NoDisplay() {}

    int width, height;
};
