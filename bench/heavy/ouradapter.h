// The viewer's side of the heavy benchmark. This file pair is the only part of the benchmark
// that calls the viewer's volume code, so that the benchmark follows a change of that
// interface by an edit here alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/heavy/workload.h"

class OurSide {
public:
    OurSide();
    ~OurSide();
    OurSide(const OurSide&) = delete;
    OurSide& operator=(const OurSide&) = delete;

    // Loads the volume file as the viewer does; false when it held no blocks.
    bool Load(const std::string& volumePath);
    uint64_t Tetrahedra() const;
    int Blocks() const;
    uint32_t Vertices() const;
    // The range of a field as the file states it.
    void Range(BenchField field, double* range) const;

    // Runs the following work on `threads` threads; false when the viewer cannot, and then
    // the work keeps running on one.
    bool SetThreads(int threads);
    // The number of threads the viewer runs such work on by default: VELMORA_THREADS, else
    // one per core.
    static int AllThreads();

    // Replaces the surface by the isosurface of `field` at `value`, as the isosurface panel's
    // "Generate" does.
    void Extract(BenchField field, double value);
    uint64_t TriangleCount() const;
    double SurfaceArea() const;

    // The seeds of `count` path lines within `radius` of `source`, drawn as the path line
    // panel's "Generate" draws them, from the seed generator in its initial state.
    std::vector<Point> DrawSeeds(const Point& source, double radius, int count) const;
    // Replaces the lines by those that "Generate" makes with the seeds of DrawSeeds.
    void TraceLines(const Point& source, double radius, int count);
    std::vector<std::vector<Point>> Lines() const;
    // The most steps a line takes before its length ends it.
    static int MaxSteps();

private:
    struct State;
    std::unique_ptr<State> state;
};
