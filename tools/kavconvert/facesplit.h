// Triangles of the cells' faces, made alike from both sides of every face.
#pragma once

#include <vtkDoubleArray.h>
#include <vtkPoints.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/kavconvert/mesh.h"

namespace kav {

// Points added in the middle of faces and cells. Each lies at the mean of some grid points
// and takes the mean of their values. They are numbered after the grid's points.
struct ExtraPoints {
    uint32_t first = 0;  // the number of the first: the grid's point count
    std::vector<std::array<double, 3>> positions;
    std::vector<uint32_t> sourceStart{0};  // sources of point k: [sourceStart[k], [k + 1])
    std::vector<uint32_t> sources;         // grid point numbers

    uint32_t Add(const double* position, const uint32_t* ids, size_t n);
    size_t Count() const { return positions.size(); }
};

// The grid's point positions as doubles, whatever type the grid stores them in.
class Coordinates {
public:
    explicit Coordinates(vtkPoints* points);
    const double* operator[](uint32_t id) const { return data + 3 * static_cast<size_t>(id); }
    uint32_t Count() const { return count; }

private:
    vtkSmartPointer<vtkDoubleArray> copy;
    const double* data;
    uint32_t count;
};

// Splits polygons into triangles by a rule that depends only on where their corners lie,
// so that the two cells on either side of a face get the same triangles however they list
// its corners and however the points are numbered. Points are ranked by position. A
// polygon is fanned from its lowest-ranked corner when every triangle of that fan has a
// fair share of the polygon's area (so corners on a straight edge, as refinement leaves
// them, never make a flat triangle); otherwise it is fanned from a point added at the mean
// of its corners, shared by every face with the same corners.
class FaceSplitter {
public:
    enum Kind { kTriangle, kCornerFan, kCentreFan, kUnknown };

    FaceSplitter(const Coordinates& coordinates, ExtraPoints* extras);

    // Appends the triangles of the polygon of `n` >= 3 distinct points `ids`, wound as the
    // polygon. With `add` false no point is added: a polygon that would need one is
    // left alone and kUnknown returned, unless a face with the same corners added it.
    Kind Split(const uint32_t* ids, size_t n, bool add, std::vector<Face3>* out);

    // A point added inside a cell, at `position`, the mean of the grid points `ids`.
    uint32_t AddPoint(const double* position, const uint32_t* ids, size_t n) {
        return extras->Add(position, ids, n);
    }

    // Moves an added point; its values stay the mean of its sources'.
    void MovePoint(uint32_t id, const double* position) {
        std::copy(position, position + 3, extras->positions[id - extras->first].begin());
    }

    uint32_t Rank(uint32_t id) const { return rank[id]; }
    const double* Position(uint32_t id) const {
        return id < extras->first ? xyz[id] : extras->positions[id - extras->first].data();
    }
    // Faces that got a centre point, and those among them whose centre fan folds over.
    uint64_t CentredFaces() const { return centres.size(); }
    uint64_t UnevenFaces() const { return uneven; }

private:
    bool FanIsFair(const uint32_t* corners, size_t n, const double* apex, bool closed,
                   bool strict) const;

    const Coordinates& xyz;
    ExtraPoints* extras;
    std::vector<uint32_t> rank;
    std::unordered_map<std::string, uint32_t> centres;  // corner list in rank order -> point
    std::vector<uint32_t> canon;                        // scratch
    uint64_t uneven = 0;
};

// A fan triangle is fair when its area, projected on the polygon's plane, is more than
// kFairShare of the polygon's area; when it is tilted from that plane by an angle whose
// cosine is above kFairTilt (a warped quadrilateral split on the wrong diagonal folds in);
// and when none of its angles is nearly straight (a cosine below kStraightCos), as corners
// on or near a straight edge would make slivers that fold a face which is not quite flat.
const double kFairShare = 1e-3;
const double kFairTilt = 0.9;
const double kStraightCos = -0.98;

}  // namespace kav
