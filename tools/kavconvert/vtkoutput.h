// The viewer's files as VTK files, to check them in ParaView or VisIt.
#pragma once

#include <array>
#include <string>

#include "tools/kavconvert/kavfiles.h"

namespace kav {

// The volume as an unstructured grid of tetrahedra: point arrays Density, Energy, Momentum
// and MomentumMag, and the cell array Block, the number of each tetrahedron's block in
// file order from 0.
void WriteVolumeVtu(const KavVolume& volume, const std::string& path);

// The four surfaces as one set of polygons: the point arrays as above, the cell array
// Surface (the file number, 1 walls .. 4 floor) and the cell normals from the files.
void WriteSurfacesVtp(const std::array<Surface, kSurfaceCount>& surfaces, const std::string& path);

}  // namespace kav
