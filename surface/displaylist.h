// One triangulated city surface, coloured by a flow variable through a 1D colour-map
// texture and drawn from display lists.
#pragma once

#include <cstdint>
#include <cstdio>

#include "scene/visual.h"
#include "volume/types.h"

class KavReader;

enum DisplayListColor { colorNone = 0, colorDensity = 1, colorEnergy = 2, colorMomentum = 3 };

class DisplayListObject : public VisualObject {
public:
    // Triangles per display list.
    static const unsigned long kTrisPerList = 20000;

    DisplayListObject();
    ~DisplayListObject();
    DisplayListObject(const DisplayListObject&) = delete;
    DisplayListObject& operator=(const DisplayListObject&) = delete;

    void LoadSurface(const char* filename);
    // Loads from an already open stream (a file or a memory buffer); `name` labels messages.
    void LoadStream(FILE* file, const char* name);
    void LoadColorMap(const unsigned char* map);

    void SetColorMap(DisplayListColor c) { color = c; }
    DisplayListColor GetColorMap() const { return color; }
    void SetVisibility(bool on) { show = on; }
    bool GetVisibility() const { return show; }
    void ToggleVisibility() { show = !show; }
    void SetWireframe(bool on) { wireframe = on; }
    bool GetWireframe() const { return wireframe; }
    void GetBounds(double* bounds) const;

    void Render() override;
    void StretchBounds(double* bounds) override;
    void InitGL() override;

    unsigned long GetNumPoints() const { return numPoints; }
    unsigned long GetNumTris() const { return numTris; }
    uint32_t GetListCount() const { return listCount; }
    uint32_t GetFirstList() const { return list; }
    uint32_t GetTexture() const { return texture; }

    // Texture coordinate of `val` in [min, max]; 0 for an empty range (max == min),
    // where the plain ratio would be infinite or NaN.
    static float TexCoord(double val, double min, double max);

private:
    bool ReadBody(KavReader& in);
    void GenerateDisplayLists();
    void RenderFace(unsigned long counter);
    void Colorize(double val, double min, double max);
    double FieldOf(const Vertex& v) const;
    void Clear();

    Vertex* points;
    Vector* normals;
    Face* faces;
    Vertex minimum;
    Vertex maximum;
    uint32_t list;
    uint32_t listCount;
    uint32_t texture;
    unsigned long numPoints;
    unsigned long numTris;
    bool show;
    bool wireframe;
    DisplayListColor color;
};
