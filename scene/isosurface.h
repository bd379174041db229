// The isosurface element: the variable and value the isosurface panel chose, and the
// triangles of the last extraction, drawn in one colour under the scene's lights.
#pragma once

#include "scene/visual.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"

class Isosurface : public VisualObject {
public:
    // Draws the triangles, newest first, from display lists compiled at the first Render
    // after a change. An empty surface makes no OpenGL call, except once to release the
    // lists of the surface it replaced.
    void Render() override;

    void SetField(FieldVar f) { field = f; }
    FieldVar GetField() const { return field; }
    void SetValue(double v) { value = v; }
    double GetValue() const { return value; }

    // Shows the triangles of `store` and hands the ones shown before back in it, so that the
    // next extraction reuses their memory.
    void Swap(TriangleStore& store);
    // Removes every triangle from view.
    void PurgeIsosurface();
    const TriangleStore& GetTriangles() const { return triangles; }

    // The display lists of the current triangles: the first name and how many (0 when none
    // is held).
    unsigned int GetFirstList() const { return firstList; }
    int GetListCount() const { return listCount; }

private:
    void CompileLists();
    void DeleteLists();

    FieldVar field = fieldMomentum;
    double value = 0.0;
    TriangleStore triangles;
    unsigned int firstList = 0;
    int listCount = 0;
    bool listsStale = false;
};
