// citygen's records written as the viewer's data files, through the format module's writer:
// the volume file (header, vertex records, blocks of tetrahedra) and the surface files
// (header, vertex records, triangles with normals). A file that cannot be written
// completely is removed, and the writer says why.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "volume/kavformat.h"

namespace citygen {

// A vertex record: point x, y, z, Density, Energy, Momentum x, y, z, MomentumMag.
using Record = std::array<double, 9>;
enum RecordField { kX, kY, kZ, kDensity, kEnergy, kMomX, kMomY, kMomZ, kMomMag };

// Header of a data file: the lower and upper bounds of every record member.
struct Bounds {
    Record minimum, maximum;
};

// Writes a volume file block by block:
//   VolumeWriter out;
//   ok = out.Open(path, bounds, vertices) && out.AddBlock(...) && ... && out.Close();
class VolumeWriter {
public:
    VolumeWriter() = default;
    ~VolumeWriter();
    VolumeWriter(const VolumeWriter&) = delete;
    VolumeWriter& operator=(const VolumeWriter&) = delete;

    bool Open(const std::string& path, const Bounds& bounds, const std::vector<Record>& vertices);
    // box: min x, max x, min y, max y, min z, max z; tetras: indices into the vertices.
    bool AddBlock(const std::array<double, 6>& box,
                  const std::vector<std::array<uint32_t, 4>>& tetras);
    bool Close();
    const std::string& Error() const { return error; }

private:
    std::string path, error;
    FILE* file = nullptr;
    std::unique_ptr<KavWriter> writer;
};

// Writes a whole surface file; false with `error` set when it cannot.
bool WriteSurface(const std::string& path, const Bounds& bounds,
                  const std::vector<Record>& vertices,
                  const std::vector<std::array<uint32_t, 3>>& triangles,
                  const std::vector<std::array<double, 3>>& normals, std::string* error);

}  // namespace citygen
