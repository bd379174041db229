// The converter's in-memory dataset in the viewer's terms: vertex records, tetrahedra as
// vertex indices, blocks as runs of tetrahedra, and the four city surfaces.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "volume/kavformat.h"
#include "volume/types.h"

namespace kav {

// A failure that ends the conversion; its text is the whole message for the user.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Four indices into a vertex array, ordered so that det(v1 - v0, v2 - v0, v3 - v0) > 0.
struct Tet {
    uint32_t v[4];
};

struct TetMesh {
    std::vector<Vertex> vertices;
    std::vector<Tet> tets;
};

// A run of consecutive tetrahedra of a mesh that forms one block, and its box.
struct BlockSpan {
    size_t first;
    uint32_t count;
    Vector min;
    Vector max;
};

// The four surfaces' names in file order (the roles are the file format's SurfaceRole).
extern const char* const kRoleNames[kSurfaceCount];

using Face3 = std::array<uint32_t, 3>;
using Normal = std::array<double, 3>;

// One surface file's content: its own vertex array, triangles and one unit normal each.
struct Surface {
    std::vector<Vertex> vertices;
    std::vector<Face3> faces;
    std::vector<Normal> normals;
};

// The largest count, and one more than the largest index, that the files' 32-bit fields hold.
const uint64_t kMaxCount = UINT32_MAX;

// Refuses a count of `what` that the files cannot hold.
void CheckCount(uint64_t count, const char* what);

// Field-wise extremes of a vertex set, as the file headers carry them. An empty set gives
// the inverted box (9e10 .. -9e10), which widens no one's bounds, and zero field ranges.
void Extremes(const std::vector<Vertex>& vertices, Vertex* lo, Vertex* hi);

// det(b - a, c - a, d - a): six times the signed volume of the tetrahedron a b c d.
double Determinant(const double* a, const double* b, const double* c, const double* d);

}  // namespace kav
