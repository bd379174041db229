#include "surface/displaylist.h"

#include <GL/gl.h>

#include <cstring>

#include "surface/colormap.h"

namespace {

// Triangle records are read in chunks of this many.
const uint32_t kChunkTris = 4096;

}  // namespace

DisplayListObject::DisplayListObject()
    : minimum(),
      maximum(),
      list(0),
      listCount(0),
      texture(0),
      show(true),
      wireframe(false),
      color(colorNone) {
    for (int a = 0; a < 3; ++a) {
        minimum.point[a] = 9e10;
        maximum.point[a] = -9e10;
    }
}

LoadResult DisplayListObject::LoadSurface(const char* filename) {
    FILE* file = fopen(filename, "rb");
    if (!file) return CannotOpen();
    LoadResult result = LoadStream(file, filename);
    fclose(file);
    return result;
}

LoadResult DisplayListObject::LoadStream(FILE* file, const char* name) {
    KavReader in(file, name);
    Vertex lo, hi;
    uint32_t counts[2];
    if (!in.CheckMagic() || !in.Read(&lo, sizeof lo, "the header") ||
        !in.Read(&hi, sizeof hi, "the header") || !in.Read(counts, sizeof counts, "the header")) {
        return in.Result();
    }
    printf("File contains %li points and %li triangles...\n", (long)counts[0], (long)counts[1]);
    // Check both arrays against the file's size before either is allocated.
    uint64_t needed = counts[0] * kVertexBytes + counts[1] * kTriangleBytes;
    if (needed > in.Remaining()) {
        in.Fail("%u points and %u triangles need %llu bytes but only %llu follow the header",
                counts[0], counts[1], (unsigned long long)needed,
                (unsigned long long)in.Remaining());
        return in.Result();
    }
    if (!ReadBody(in, counts[0], counts[1])) {
        points.clear();
        normals.clear();
        faces.clear();
        return in.Result();
    }
    minimum = lo;
    maximum = hi;
    printf("Loading complete..\n");
    return in.Result();
}

bool DisplayListObject::ReadBody(KavReader& in, uint32_t numPoints, uint32_t numTris) {
    points.resize(numPoints);
    normals.resize(numTris);
    faces.resize(numTris);
    if (!in.Read(points.data(), numPoints * kVertexBytes, "the vertex array")) return false;

    unsigned char chunk[kChunkTris * kTriangleBytes];
    for (uint32_t first = 0; first < numTris; first += kChunkTris) {
        uint32_t n = numTris - first < kChunkTris ? numTris - first : kChunkTris;
        if (!in.Read(chunk, n * kTriangleBytes, "the triangle array")) return false;
        for (uint32_t t = 0; t < n; ++t) {
            const unsigned char* rec = chunk + t * kTriangleBytes;
            std::array<uint32_t, 3>& f = faces[first + t];
            memcpy(f.data(), rec, sizeof(Face));
            memcpy(normals[first + t].data(), rec + sizeof(Face), sizeof(Vector));
            if (f[0] >= numPoints || f[1] >= numPoints || f[2] >= numPoints) {
                return in.Fail("triangle %lu refers to a vertex beyond the %lu points",
                               (unsigned long)(first + t), (unsigned long)numPoints);
            }
        }
    }
    return true;
}

void DisplayListObject::GetBounds(double* bounds) const {
    for (int a = 0; a < 3; ++a) {
        bounds[2 * a] = minimum.point[a];
        bounds[2 * a + 1] = maximum.point[a];
    }
}

void DisplayListObject::StretchBounds(double* bounds) {
    for (int a = 0; a < 3; ++a) {
        if (bounds[2 * a] > minimum.point[a]) bounds[2 * a] = minimum.point[a];
    }
    for (int a = 0; a < 3; ++a) {
        if (bounds[2 * a + 1] < maximum.point[a]) bounds[2 * a + 1] = maximum.point[a];
    }
}

void DisplayListObject::InitGL() {
    GenerateDisplayLists();
}

float DisplayListObject::TexCoord(double val, double min, double max) {
    if (max == min) return 0.0f;
    return (float)((val - min) / (max - min));
}

double DisplayListObject::FieldOf(const Vertex& v) const {
    switch (color) {
        case colorDensity:
            return v.Density;
        case colorEnergy:
            return v.Energy;
        case colorMomentum:
            return v.MomentumMag;
        case colorNone:
            break;
    }
    return 0.0;
}

void DisplayListObject::Colorize(double val, double min, double max) {
    glTexCoord1f(TexCoord(val, min, max));
}

void DisplayListObject::RenderFace(unsigned long counter) {
    glNormal3dv(normals[counter].data());
    for (int k = 0; k < 3; ++k) {
        const Vertex& v = points[faces[counter][k]];
        if (color != colorNone) Colorize(FieldOf(v), FieldOf(minimum), FieldOf(maximum));
        glVertex3dv(v.point);
    }
}

void DisplayListObject::GenerateDisplayLists() {
    // A model without triangles gets no lists; Render then draws nothing.
    const unsigned long numTris = GetNumTris();
    if (numTris == 0) return;
    uint32_t count = (uint32_t)((numTris + kTrisPerList - 1) / kTrisPerList);
    if (list != 0) {
        // Texture coordinates are baked into the lists; without colouring the old ones do.
        if (color == colorNone) return;
        glDeleteLists(list, listCount);
    }
    listCount = count;
    list = glGenLists(listCount);

    glNewList(list, GL_COMPILE_AND_EXECUTE);
    glBegin(GL_TRIANGLES);
    glColor4f(1, 1, 1, 1);
    RenderFace(0);
    for (unsigned long i = 1; i < numTris; ++i) {
        if (i % kTrisPerList == 0) {
            glEnd();
            glEndList();
            glNewList(list + (uint32_t)(i / kTrisPerList), GL_COMPILE);
            glBegin(GL_TRIANGLES);
            glColor4f(1, 1, 1, 1);
        }
        RenderFace(i);
    }
    glEnd();
    glEndList();
}

void DisplayListObject::Render() {
    if (!show || list == 0) return;
    if (color != colorNone) {
        glEnable(GL_TEXTURE_1D);
        glBindTexture(GL_TEXTURE_1D, texture);
    } else {
        glDisable(GL_TEXTURE_1D);
    }
    glPolygonMode(GL_FRONT_AND_BACK, wireframe ? GL_LINE : GL_FILL);
    for (uint32_t i = 0; i < listCount; ++i) glCallList(list + i);
    glBindTexture(GL_TEXTURE_1D, 0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void DisplayListObject::LoadColorMap(const unsigned char* map) {
    if (texture == 0) glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_1D, texture);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage1D(GL_TEXTURE_1D, 0, 4, kColorMapEntries, 0, GL_RGBA, GL_UNSIGNED_BYTE, map);
}
