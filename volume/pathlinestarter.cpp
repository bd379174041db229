#include "volume/pathlinestarter.h"

#include "math/math.h"
#include "volume/tetravolume.h"

Seed DrawSeed(RandomSequence& random, const double* source, double radius) {
    // A uniform draw in [0, 1] at the generator's resolution.
    auto unitDraw = [&random] { return random.Next() / (double)kRandomMax; };
    double deltaR = unitDraw() * radius;
    double vector[3];
    for (double& d : vector) d = unitDraw();
    Normalize(vector);
    Seed seed;
    for (int a = 0; a < 3; ++a) seed[a] = source[a] + deltaR * vector[a];
    return seed;
}

bool TracePathLines(PointLocator* locator, const std::vector<Seed>& seeds,
                    std::vector<PathLine>* lines, Console console, Progress* progress) {
    lines->clear();
    if (progress) progress->total = seeds.size();
    if (locator) locator->SetConsole(console);
    for (size_t i = 0; i < seeds.size(); ++i) {
        if (progress && progress->Cancelled()) return false;
        console.Print("Generating pathline %i\n", (int)i);
        lines->emplace_back();
        lines->back().SetStart(seeds[i].data());
        lines->back().Integrate(locator, console);
        if (progress) ++progress->done;
    }
    return true;
}

PathLineGenerator::PathLineGenerator()
    : genStart{-405, 10, -405}, genCount(10), genRadius(50), ghost(false), anchored(true) {}

void PathLineGenerator::SetStart(const double* position) {
    for (int a = 0; a < 3; ++a) genStart[a] = position[a];
}

void PathLineGenerator::GetStart(double* position) const {
    for (int a = 0; a < 3; ++a) position[a] = genStart[a];
}

void PathLineGenerator::SetVolume(const TetrahedralVolume* vol) {
    locator = vol ? std::make_unique<PointLocator>(*vol) : nullptr;
}

std::vector<Seed> PathLineGenerator::DrawSeeds() {
    std::vector<Seed> seeds;
    for (int i = 0; i < genCount; ++i) seeds.push_back(DrawSeed(random, genStart, genRadius));
    return seeds;
}

void PathLineGenerator::Generate(Console console) {
    std::vector<PathLine> lines;
    TracePathLines(locator.get(), DrawSeeds(), &lines, console);
    SetLines(std::move(lines));
}
