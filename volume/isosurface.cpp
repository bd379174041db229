#include "volume/isosurface.h"

#include <GL/gl.h>

#include <algorithm>

#include "math/math.h"

namespace {

// Chunks grow from small (a surface of a few triangles stays small) to about 6.8 MB.
const size_t kFirstChunkTriangles = 1024;
const size_t kMaxChunkTriangles = 65536;

// Triangles per display list: large enough that calling the lists costs nothing per frame,
// small enough that no single compilation needs one huge buffer.
const size_t kTrianglesPerList = 65536;

// One GL_TRIANGLES batch of at most `limit` triangles from `tri` along the list; returns the
// first triangle not drawn.
const Triangle* EmitTriangles(const Triangle* tri, size_t limit) {
    glBegin(GL_TRIANGLES);
    for (size_t n = 0; n < limit && tri; ++n, tri = tri->next) {
        glNormal3dv(tri->normal);
        glVertex3dv(tri->point[0]);
        glVertex3dv(tri->point[1]);
        glVertex3dv(tri->point[2]);
    }
    glEnd();
    return tri;
}

}  // namespace

Isosurface::Isosurface() : field(fieldMomentum), value(0.0), vol(nullptr), triStart(nullptr) {}

Isosurface::~Isosurface() {
    PurgeIsosurface();
    DeleteLists();
}

void Isosurface::StretchBounds(double* bounds) {
    (void)bounds;
}

void Isosurface::InitGL() {}

void Isosurface::Generate() {
    keepChunks = true;
    PurgeIsosurface();
    if (vol) vol->GenerateIsosurface(field, value, this);  // without a volume: empty
    keepChunks = false;
    spares.clear();
}

void Isosurface::PurgeIsosurface() {
    // The records live in the chunks, so releasing the chunks releases every triangle.
    if (keepChunks) {
        for (Chunk& chunk : chunks) spares.push_back(std::move(chunk));
    }
    chunks.clear();
    chunkNext = nullptr;
    chunkFree = 0;
    triangleCount = 0;
    triStart = nullptr;
    listsStale = true;
}

void Isosurface::NewChunk() {
    if (!spares.empty()) {
        chunks.push_back(std::move(spares.back()));
        spares.pop_back();
    } else {
        // Doubling the records held so far keeps the number of chunks logarithmic.
        size_t size = std::min(std::max(triangleCount, kFirstChunkTriangles), kMaxChunkTriangles);
        chunks.push_back(Chunk{std::unique_ptr<Triangle[]>(new Triangle[size]), size});
    }
    chunkNext = chunks.back().records.get();
    chunkFree = chunks.back().size;
}

inline Triangle* Isosurface::NewTriangle() {
    if (chunkFree == 0) NewChunk();
    --chunkFree;
    ++triangleCount;
    return chunkNext++;
}

void Isosurface::AddTriangle(double* p1, double* p2, double* p3) {
    Triangle* tri = NewTriangle();
    tri->next = triStart;
    triStart = tri;
    for (int k = 0; k < 3; ++k) {
        tri->point[0][k] = p1[k];
        tri->point[1][k] = p2[k];
        tri->point[2][k] = p3[k];
    }
    CrossProd3(p1, p2, p3, tri->normal);
    listsStale = true;
}

void Isosurface::DeleteLists() {
    if (listCount > 0) glDeleteLists(firstList, listCount);
    firstList = 0;
    listCount = 0;
}

void Isosurface::CompileLists() {
    GLsizei count = (GLsizei)((triangleCount + kTrianglesPerList - 1) / kTrianglesPerList);
    firstList = glGenLists(count);
    if (firstList == 0) return;  // out of list names: Render draws directly instead
    listCount = count;
    const Triangle* tri = triStart;
    for (GLsizei i = 0; i < count; ++i) {
        glNewList(firstList + i, GL_COMPILE);
        tri = EmitTriangles(tri, kTrianglesPerList);
        glEndList();
    }
}

void Isosurface::Render() {
    if (listsStale) {
        DeleteLists();
        listsStale = false;
    }
    if (!triStart) return;
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
        EmitTriangles(triStart, triangleCount);
    }
    glPopAttrib();
    glEnable(GL_TEXTURE_1D);
}
