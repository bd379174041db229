// The scene element that seeds, integrates and draws a set of path lines.
#pragma once

#include "scene/visual.h"
#include "volume/pathline.h"
#include "volume/types.h"

class TetrahedralVolume;

// Seeds are scattered at random distances up to a radius from a source point, in the octant
// above it on every axis; the source follows the camera's focus point while anchored.
class PathLineGenerator : public VisualObject {
public:
    PathLineGenerator();
    ~PathLineGenerator();
    PathLineGenerator(const PathLineGenerator&) = delete;
    PathLineGenerator& operator=(const PathLineGenerator&) = delete;

    // Number of lines the next Generate makes; below 1 it makes none.
    void SetCount(int count) { genCount = count; }
    int GetCount() const { return genCount; }
    // Largest seed distance (world units) and radius of the source marker; taken unchanged.
    void SetRadius(double radius) { genRadius = radius; }
    double GetRadius() const { return genRadius; }
    void SetStart(const double* position);
    void GetStart(double* position) const;
    void SetVolume(TetrahedralVolume* vol) { genVol = vol; }
    // Whether the source is marked by a translucent red wire sphere.
    void SetGhostVisibility(bool visible) { ghost = visible; }
    bool GetGhostVisibility() const { return ghost; }
    // Whether the source follows the camera's focus point, copied at every frame.
    void Anchor(bool on) { anchored = on; }
    bool GetAnchor() const { return anchored; }

    // Replaces the set of lines by GetCount() new ones, each seeded and integrated in turn.
    void Generate();

    void Render() override;
    void StretchBounds(double* bounds) override;
    void InitGL() override;

    // The current set: what Render draws.
    int GetLineCount() const { return allocated; }
    const PathLine& GetLine(int i) const { return pathlines[i]; }

private:
    void Release();

    Vector genStart;
    int genCount;
    double genRadius;
    bool ghost;
    bool anchored;
    TetrahedralVolume* genVol;
    PathLine* pathlines;
    int allocated;
};
