// VTK's side of the heavy benchmark: the same volume file as a vtkUnstructuredGrid, contoured
// by vtkContour3DLinearGrid and traced by vtkStreamTracer, each on one thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/heavy/workload.h"

class VtkSide {
public:
    VtkSide();
    ~VtkSide();
    VtkSide(const VtkSide&) = delete;
    VtkSide& operator=(const VtkSide&) = delete;

    // Reads the volume file; throws kav::ConvertError when it cannot.
    void Load(const std::string& volumePath);

    // Share of the tetrahedra that `value` cuts (some vertex below it, some at or above).
    double CutShare(BenchField field, double value) const;

    // Contours `field` at `value` with the filter built for that field, which keeps its
    // output until the next call.
    void Contour(BenchField field, double value);
    uint64_t TriangleCount(BenchField field) const;
    double SurfaceArea(BenchField field) const;

    enum Locator { kPointLocator, kCellLocator };
    // Traces one line per seed with RK2 steps of one unit of time (the velocity not
    // normalised) for at most `maxSteps` steps; the traced lines replace those of the last
    // call with the same locator.
    void Trace(Locator locator, const std::vector<Point>& seeds, int maxSteps);
    // Whether a tetrahedron holds `p`, by VTK's own search.
    bool Inside(const Point& p) const;
    // The lines of the last Trace with `locator`, one per seed (empty for a seed outside).
    std::vector<std::vector<Point>> Lines(Locator locator, size_t seeds) const;

private:
    struct State;
    std::unique_ptr<State> state;
};
