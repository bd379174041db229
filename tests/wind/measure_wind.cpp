// measure_wind DIR: prints the wind measures of the viewer data files in DIR (mass flow
// through planes across the wind, recirculation behind the buildings, flow through walls).

#include <cstdio>
#include <string>

#include "windmeasure.h"

using namespace windmeasure;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: measure_wind DIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    Volume vol;
    Surface buildings, floor;
    std::string error;
    if (!ReadVolume(dir + "volume.kav", &vol, &error) ||
        !ReadSurface(dir + "surface-3.kav", &buildings, &error) ||
        !ReadSurface(dir + "surface-4.kav", &floor, &error)) {
        std::fprintf(stderr, "measure_wind: %s\n", error.c_str());
        return 1;
    }
    std::printf("%zu vertices, %zu tetrahedra\n", vol.vertices.size(), vol.tetras.size());
    const MeanWind wind = MeasureMeanWind(vol);
    std::printf("mean momentum (%.4f, %.4f, %.4f), along axis %d, sign %+d\n", wind.momentum[0],
                wind.momentum[1], wind.momentum[2], wind.axis, wind.sign);

    const MassFlow flow = MeasureMassFlow(vol, wind, 99);
    double lo = flow.flows[0], hi = lo;
    for (double f : flow.flows) lo = std::min(lo, f), hi = std::max(hi, f);
    std::printf(
        "mass flow through %zu planes: mean %.2f, min %.2f, max %.2f, "
        "largest deviation from the mean %.3f %%, spread (max-min)/mean %.3f %%\n",
        flow.flows.size(), flow.mean, lo, hi, 100 * flow.worstDeviation,
        100 * (hi - lo) / flow.mean);

    const Wakes wakes = MeasureWakes(vol, buildings, wind);
    size_t zone = 0, reversed = 0;
    for (size_t b = 0; b < wakes.buildings.size(); ++b) {
        zone += wakes.zoneVertices[b];
        reversed += wakes.reversedVertices[b];
    }
    std::printf(
        "recirculation behind %zu of %zu buildings (%.1f %%); lee zones: %zu of %zu "
        "vertices reversed; whole volume: %zu of %zu vertices (%.2f %%) reversed\n",
        wakes.withRecirculation, wakes.buildings.size(),
        100.0 * wakes.withRecirculation / wakes.buildings.size(), reversed, zone,
        wakes.reversedEverywhere, vol.vertices.size(),
        100.0 * wakes.reversedEverywhere / vol.vertices.size());

    const Walls walls = MeasureWalls(vol, {&buildings, &floor}, 1e-12);
    std::printf(
        "walls: %zu of %zu building and floor vertices carry momentum through a face; "
        "largest normal momentum %.3g of the largest momentum; %zu not in the volume\n",
        walls.leakyVertices, walls.vertices, walls.worstRatio, walls.missingVertices);
    return 0;
}
