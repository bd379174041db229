#include "volume/pathlinestarter.h"

#include "math/math.h"
#include "volume/tetravolume.h"

void DrawSeed(RandomSequence& random, const double* source, double radius, double* seed) {
    // A uniform draw in [0, 1] at the generator's resolution.
    auto unitDraw = [&random] { return random.Next() / (double)kRandomMax; };
    double deltaR = unitDraw() * radius;
    double vector[3];
    for (double& d : vector) d = unitDraw();
    Normalize(vector);
    for (int a = 0; a < 3; ++a) seed[a] = source[a] + deltaR * vector[a];
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

void PathLineGenerator::Generate(Console console) {
    pathlines.clear();
    if (genCount < 1) return;
    pathlines.resize(genCount);
    if (locator) locator->SetConsole(console);
    for (int i = 0; i < genCount; ++i) {
        console.Print("Generating pathline %i\n", i);
        double seed[3];
        DrawSeed(random, genStart, genRadius, seed);
        pathlines[i].SetStart(seed);
        pathlines[i].Integrate(locator.get(), console);
    }
}
