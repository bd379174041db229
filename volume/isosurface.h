// The isosurface element: one scalar flow variable at one value, as a list of triangles.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "scene/visual.h"
#include "volume/tetravolume.h"

class Isosurface : public VisualObject {
public:
    Isosurface();
    ~Isosurface();
    Isosurface(const Isosurface&) = delete;
    Isosurface& operator=(const Isosurface&) = delete;

    // Draws the triangles from display lists compiled at the first Render after a change. An
    // empty surface makes no OpenGL call, except once to release the lists of the surface it
    // replaced.
    void Render() override;
    // The isosurface never widens the scene bounds.
    void StretchBounds(double* bounds) override;
    void InitGL() override;

    void SetField(FieldVar f) { field = f; }
    FieldVar GetField() const { return field; }
    void SetValue(double v) { value = v; }
    double GetValue() const { return value; }
    // The volume to extract from; must be set before Generate.
    void SetVolume(TetrahedralVolume* v) { vol = v; }

    // Replaces the triangles by the surface of the current field at the current value (by
    // none while no volume is set).
    void Generate();
    // Releases every triangle.
    void PurgeIsosurface();
    // Puts the triangle p1, p2, p3 at the head of the list with its unit normal.
    void AddTriangle(double* p1, double* p2, double* p3);

    // Head of the list, newest triangle first.
    const Triangle* GetFirstTriangle() const { return triStart; }
    // The display lists of the current triangles: the first name and how many (0 when none
    // is held).
    unsigned int GetFirstList() const { return firstList; }
    int GetListCount() const { return listCount; }

private:
    Triangle* NewTriangle();
    void NewChunk();
    void CompileLists();
    void DeleteLists();

    FieldVar field;
    double value;
    TetrahedralVolume* vol;
    Triangle* triStart;

    // Triangle records come from chunks that are released together, so extraction makes one
    // allocation per chunk rather than one per triangle.
    struct Chunk {
        std::unique_ptr<Triangle[]> records;
        size_t size;
    };
    std::vector<Chunk> chunks;  // in use, oldest first
    // While Generate runs, the previous surface's chunks wait here to be refilled, which spares
    // the system handing out (and clearing) fresh memory on every press of "Generate".
    std::vector<Chunk> spares;
    bool keepChunks = false;
    Triangle* chunkNext = nullptr;
    size_t chunkFree = 0;
    size_t triangleCount = 0;

    // Display lists of the current triangles, compiled at the first Render after a change.
    unsigned int firstList = 0;
    int listCount = 0;
    bool listsStale = false;
};
