// Measures of how physical the wind in a set of viewer data files is: mass conservation,
// wakes behind the buildings and flow through the walls. The momentum is taken as the
// viewer takes it, linear inside every tetrahedron.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace windmeasure {

// One vertex record as stored: position, density, energy, momentum, momentum magnitude.
struct Record {
    std::array<double, 3> point;
    double density;
    double energy;
    std::array<double, 3> momentum;
    double momentumMag;
};

struct Volume {
    Record minimum, maximum;
    std::vector<Record> vertices;
    std::vector<std::array<uint32_t, 4>> tetras;
};

struct Surface {
    Record minimum, maximum;
    std::vector<Record> vertices;
    std::vector<std::array<uint32_t, 3>> triangles;
    std::vector<std::array<double, 3>> normals;  // one per triangle
};

// Readers of volume.kav and surface-N.kav; false with a message on any fault.
bool ReadVolume(const std::string& path, Volume* volume, std::string* error);
bool ReadSurface(const std::string& path, Surface* surface, std::string* error);

// The volume-weighted mean momentum, and the axis and sign it mostly points along.
struct MeanWind {
    std::array<double, 3> momentum;
    int axis;
    int sign;
};
MeanWind MeasureMeanWind(const Volume& volume);

// Mass flow (momentum integrated over the cut of the mesh) through planes across the mean
// wind, evenly spread between the volume's two ends on the wind's axis.
struct MassFlow {
    std::vector<double> positions;  // plane coordinates on the wind axis
    std::vector<double> flows;      // mass flow in the wind's direction through each plane
    double mean = 0.0;
    double worstDeviation = 0.0;  // largest |flow - mean| / mean
};
MassFlow MeasureMassFlow(const Volume& volume, const MeanWind& wind, int planes);

// Recirculation behind every building: the building's lee zone holds the vertices within
// one building height downstream of its lee face (the lee face itself excluded), below its
// roof and within its width; a building has a recirculation zone when the momentum at one
// of them runs against the mean wind (negative dot product).
struct Box {
    std::array<double, 3> lo, hi;
};
struct Wakes {
    std::vector<Box> buildings;
    std::vector<size_t> zoneVertices;      // per building
    std::vector<size_t> reversedVertices;  // per building
    size_t withRecirculation = 0;          // buildings with at least one reversed vertex
    size_t reversedEverywhere = 0;         // vertices of the whole volume against the wind
};
// The buildings are the connected parts of the buildings surface (triangles that share a
// vertex or a vertex position), as boxes; y is up.
std::vector<Box> FindBuildings(const Surface& buildings);
Wakes MeasureWakes(const Volume& volume, const Surface& buildings, const MeanWind& wind);

// Flow through walls: at every vertex of the given surfaces, the momentum component along
// the normal of each triangle that holds it, both in the surface file and at the volume
// vertex in the same place.
struct Walls {
    size_t vertices = 0;         // distinct surface vertices checked
    size_t leakyVertices = 0;    // of those, vertices with some normal momentum
    size_t missingVertices = 0;  // surface vertices with no volume vertex in their place
    double worstRatio = 0.0;     // largest |normal momentum| / largest |momentum| of the volume
};
Walls MeasureWalls(const Volume& volume, const std::vector<const Surface*>& surfaces,
                   double tolerance);

}  // namespace windmeasure
