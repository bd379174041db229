// The surfaces that the input's named boundary patches make, as the options assign them.
#pragma once

#include <vtkUnstructuredGrid.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "tools/kavconvert/facesplit.h"
#include "tools/kavconvert/options.h"
#include "tools/kavconvert/vtkinput.h"

namespace kav {

const int kNoRole = -1;

// Each patch's surface (a SurfaceRole), or kNoRole for a patch that no pattern names.
// Throws ConvertError for a pattern that matches no patch, and for a patch that the
// patterns of two surfaces match.
std::vector<int> AssignRoles(const std::vector<Patch>& patches, const Options& options);

// The number of faces (polygons) of a patch.
uint64_t CountFaces(const Patch& patch);

// Prints the patches' names and face counts, for --list-patches.
void PrintPatches(const std::string& input, const std::vector<Patch>& patches);

// A triangle by its corners in ascending order.
struct TriangleKeyHash {
    size_t operator()(const Face3& t) const {
        uint64_t h = (uint64_t(t[0]) * 0x9e3779b97f4a7c15ULL) ^ (uint64_t(t[1]) << 21) ^ t[2];
        h = (h ^ (h >> 31)) * 0xbf58476d1ce4e5b9ULL;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};
Face3 TriangleKey(Face3 t);
using RoleMap = std::unordered_map<Face3, int, TriangleKeyHash>;

// The surface of each triangle that the split makes of the assigned patches' faces, keyed
// by the triangle's corners in the grid's point numbers (added points after them). The
// patches' points are found in the grid by exact position. `stray` counts the faces that
// are no face of the grid's cells; they are left out.
RoleMap PatchTriangles(const std::vector<Patch>& patches, const std::vector<int>& roles,
                       const Coordinates& grid, FaceSplitter* faces, uint64_t* stray);

// The same map in the mesh's vertex numbers (`index` from BuildMesh).
RoleMap Renumber(const RoleMap& roles, const std::vector<uint32_t>& index);

}  // namespace kav
