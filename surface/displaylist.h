// One triangulated city surface, coloured by a flow variable through a 1D colour-map
// texture and drawn from display lists.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "scene/visual.h"
#include "volume/kavformat.h"
#include "volume/types.h"

enum DisplayListColor { colorNone = 0, colorDensity = 1, colorEnergy = 2, colorMomentum = 3 };

class DisplayListObject : public VisualObject {
public:
    // Triangles per display list.
    static const unsigned long kTrisPerList = 20000;

    DisplayListObject();
    DisplayListObject(const DisplayListObject&) = delete;
    DisplayListObject& operator=(const DisplayListObject&) = delete;

    // Loads a surface file, printing its counts. On failure the surface stays as it was
    // constructed and the result says why.
    LoadResult LoadSurface(const char* filename);
    // Loads from an already open stream (a file or a memory buffer); `name` labels messages.
    LoadResult LoadStream(FILE* file, const char* name);
    void LoadColorMap(const unsigned char* map);

    // The next InitGL compiles the lists with this colouring.
    void SetColorMap(DisplayListColor c) { color = c; }
    DisplayListColor GetColorMap() const { return color; }
    // The texture coordinate of every vertex under colouring `c` (empty for colorNone): the
    // part of a colouring change that needs no OpenGL. It only reads what loading wrote, so
    // it may run on another thread while the surface is drawn.
    std::vector<float> ColorCoordinates(DisplayListColor c) const;
    // SetColorMap(c) with the coordinates ColorCoordinates(c) made, so that the next InitGL
    // only compiles.
    void SetColoring(DisplayListColor c, std::vector<float> coordinates);
    // The header's range [min, max] of the variable `c` colours by; false for colorNone.
    bool GetColorRange(DisplayListColor c, double* range) const;
    void SetVisibility(bool on) { show = on; }
    bool GetVisibility() const { return show; }
    void ToggleVisibility() { show = !show; }
    void SetWireframe(bool on) { wireframe = on; }
    bool GetWireframe() const { return wireframe; }
    void GetBounds(double* bounds) const;

    void Render() override;
    void StretchBounds(double* bounds) override;
    void InitGL() override;

    unsigned long GetNumPoints() const { return (unsigned long)points.size(); }
    unsigned long GetNumTris() const { return (unsigned long)faces.size(); }
    uint32_t GetListCount() const { return listCount; }
    uint32_t GetFirstList() const { return list; }
    uint32_t GetTexture() const { return texture; }

    // Texture coordinate of `val` in [min, max]; 0 for an empty range (max == min),
    // where the plain ratio would be infinite or NaN.
    static float TexCoord(double val, double min, double max);

private:
    void GenerateDisplayLists();
    void RenderFace(unsigned long counter);
    static double FieldOf(DisplayListColor c, const Vertex& v);
    std::vector<Vertex> points;
    std::vector<std::array<double, 3>> normals;  // one per triangle
    std::vector<std::array<uint32_t, 3>> faces;  // vertex indices, one per triangle
    std::vector<float> texCoords;     // per vertex, for the colouring `texCoordsColor`, until
    DisplayListColor texCoordsColor;  // the lists are compiled
    Vertex minimum;
    Vertex maximum;
    uint32_t list;
    uint32_t listCount;
    uint32_t texture;
    bool show;
    bool wireframe;
    DisplayListColor color;
};
