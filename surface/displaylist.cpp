#include "surface/displaylist.h"

#include <GL/gl.h>

#include <cstring>

#include "surface/colormap.h"

DisplayListObject::DisplayListObject()
    : texCoordsColor(colorNone),
      minimum(),
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
    SurfaceData data;
    LoadResult result = ReadSurfaceStream(file, name, &data);
    if (!result.Loaded()) return result;
    minimum = data.minimum;
    maximum = data.maximum;
    points = std::move(data.points);
    faces = std::move(data.faces);
    normals = std::move(data.normals);
    printf("Loading complete..\n");
    return result;
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

double DisplayListObject::FieldOf(DisplayListColor c, const Vertex& v) {
    switch (c) {
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

bool DisplayListObject::GetColorRange(DisplayListColor c, double* range) const {
    if (c == colorNone) return false;
    range[0] = FieldOf(c, minimum);
    range[1] = FieldOf(c, maximum);
    return true;
}

std::vector<float> DisplayListObject::ColorCoordinates(DisplayListColor c) const {
    std::vector<float> coordinates;
    double range[2];
    if (!GetColorRange(c, range)) return coordinates;
    coordinates.reserve(points.size());
    for (const Vertex& v : points)
        coordinates.push_back(TexCoord(FieldOf(c, v), range[0], range[1]));
    return coordinates;
}

void DisplayListObject::SetColoring(DisplayListColor c, std::vector<float> coordinates) {
    color = c;
    texCoords = std::move(coordinates);
    texCoordsColor = c;
}

void DisplayListObject::RenderFace(unsigned long counter) {
    glNormal3dv(normals[counter].data());
    for (int k = 0; k < 3; ++k) {
        const uint32_t index = faces[counter][k];
        if (color != colorNone) glTexCoord1f(texCoords[index]);
        glVertex3dv(points[index].point);
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
    if (texCoordsColor != color || texCoords.size() != points.size()) {
        SetColoring(color, ColorCoordinates(color));
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
    // The lists hold the coordinates now.
    std::vector<float>().swap(texCoords);
    texCoordsColor = colorNone;
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
