#include "scene/isosurface.h"

#include <GL/gl.h>

#include <algorithm>

namespace {

// Triangles per display list: large enough that calling the lists costs nothing per frame,
// small enough that no single compilation needs one huge buffer.
const size_t kTrianglesPerList = 65536;

// One GL_TRIANGLES batch of the triangles from list position `first` (newest first) up to,
// not including, `end`.
void EmitTriangles(const TriangleStore& store, size_t first, size_t end) {
    glBegin(GL_TRIANGLES);
    for (size_t n = first; n < end; ++n) {
        const Triangle& tri = store[store.Size() - 1 - n];
        glNormal3dv(tri.normal);
        glVertex3dv(tri.point[0]);
        glVertex3dv(tri.point[1]);
        glVertex3dv(tri.point[2]);
    }
    glEnd();
}

}  // namespace

void Isosurface::Swap(TriangleStore& store) {
    std::swap(triangles, store);
    listsStale = true;
}

void Isosurface::PurgeIsosurface() {
    triangles.Clear();
    listsStale = true;
}

void Isosurface::DeleteLists() {
    if (listCount > 0) glDeleteLists(firstList, listCount);
    firstList = 0;
    listCount = 0;
}

void Isosurface::CompileLists() {
    const size_t count = triangles.Size();
    GLsizei lists = (GLsizei)((count + kTrianglesPerList - 1) / kTrianglesPerList);
    firstList = glGenLists(lists);
    if (firstList == 0) return;  // out of list names: Render draws directly instead
    listCount = lists;
    for (GLsizei i = 0; i < lists; ++i) {
        glNewList(firstList + i, GL_COMPILE);
        size_t first = (size_t)i * kTrianglesPerList;
        EmitTriangles(triangles, first, std::min(first + kTrianglesPerList, count));
        glEndList();
    }
}

void Isosurface::Render() {
    if (listsStale) {
        DeleteLists();
        listsStale = false;
    }
    if (triangles.Empty()) return;
    if (listCount == 0) CompileLists();

    glDisable(GL_TEXTURE_1D);
    // Under lighting the current colour counts only through the material: let it set the
    // ambient and diffuse reflectance for the surface, then give the rest of the scene its
    // material back.
    glPushAttrib(GL_LIGHTING_BIT);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(0.0f, 0.7f, 0.7f, 1.0f);
    if (listCount > 0) {
        for (int i = 0; i < listCount; ++i) glCallList(firstList + i);
    } else {
        EmitTriangles(triangles, 0, triangles.Size());
    }
    glPopAttrib();
    glEnable(GL_TEXTURE_1D);
}
