// Interface of every 3D element of the scene.
#pragma once

class VisualObject {
public:
    virtual ~VisualObject() = default;

    // Draws the object with the current matrices.
    virtual void Render() {}
    // Widens a bounds array (min x, max x, min y, max y, min z, max z) to contain the object.
    virtual void StretchBounds(double* bounds) { (void)bounds; }
    // Prepares OpenGL resources once the context exists.
    virtual void InitGL() {}
};
