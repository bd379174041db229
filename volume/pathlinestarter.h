// A set of path lines seeded around a source point, and the settings that the path line
// panel works: how many, how far from the source, whether the source is marked and whether
// it follows the view.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "math/random.h"
#include "volume/console.h"
#include "volume/pathline.h"
#include "volume/pointlocator.h"
#include "volume/progress.h"
#include "volume/types.h"

class TetrahedralVolume;

using Seed = std::array<double, 3>;

// The next seed of a set: four draws from `random`, the distance from the source (up to
// `radius`) and the direction's x, y and z, each in [0, 1], the direction then normalised.
Seed DrawSeed(RandomSequence& random, const double* source, double radius);

// Traces one line from each seed through the volume that `locator` searches (no locator:
// each line ends at its seed), printing "Generating pathline %i" before each line and the
// line's own progress, line after line in seed order. Every line starts with empty caches in
// a searcher of its own set up like `locator`, so that a line does not depend on the lines
// before it nor on which thread traced it: any `threads` count (0: DefaultThreads()) gives
// the same lines and the same text. With `progress`, the lines are counted there and a
// cancellation stops the work between lines: then false, and `lines` holds the lines
// finished before it, in order.
bool TracePathLines(PointLocator* locator, const std::vector<Seed>& seeds,
                    std::vector<PathLine>* lines, Console console = Console(),
                    Progress* progress = nullptr, int threads = 0);

// Seeds are scattered at random distances up to a radius from the source, in the octant
// above it on every axis. The random sequence goes on from one set to the next.
class PathLineGenerator {
public:
    PathLineGenerator();

    // Number of lines the next Generate makes; below 1 it makes none.
    void SetCount(int count) { genCount = count; }
    int GetCount() const { return genCount; }
    // Largest seed distance (world units) and radius of the source marker; taken unchanged.
    void SetRadius(double radius) { genRadius = radius; }
    double GetRadius() const { return genRadius; }
    // The source point; the app puts the camera's focus here while the source is anchored.
    void SetStart(const double* position);
    void GetStart(double* position) const;
    // The volume the lines are traced through; null traces nothing (lines end at their seed).
    void SetVolume(const TetrahedralVolume* vol);
    // Whether the source is marked by a translucent red wire sphere.
    void SetGhostVisibility(bool visible) { ghost = visible; }
    bool GetGhostVisibility() const { return ghost; }
    // Whether the source follows the camera's focus point.
    void Anchor(bool on) { anchored = on; }
    bool GetAnchor() const { return anchored; }

    // Replaces the set of lines by GetCount() new ones, each seeded and integrated in turn:
    // DrawSeeds, TracePathLines with the generator's searcher, then SetLines.
    void Generate(Console console = Console());
    // The seeds of the next set, drawn from the sequence around the current source.
    std::vector<Seed> DrawSeeds();
    // The searcher whose settings trace the generator's lines (each line starts from empty
    // caches); null without a volume. One piece of work at a time may use it.
    PointLocator* GetLocator() { return locator.get(); }
    // Makes `lines` the current set.
    void SetLines(std::vector<PathLine> lines) { pathlines = std::move(lines); }

    // The current set.
    int GetLineCount() const { return (int)pathlines.size(); }
    const PathLine& GetLine(int i) const { return pathlines[i]; }

private:
    Vector genStart;
    int genCount;
    double genRadius;
    bool ghost;
    bool anchored;
    std::unique_ptr<PointLocator> locator;
    std::vector<PathLine> pathlines;
    RandomSequence random;
};
