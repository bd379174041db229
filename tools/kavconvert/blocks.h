// Grouping the tetrahedra into the blocks of the volume file.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/kavconvert/mesh.h"

namespace kav {

// Reorders the mesh's tetrahedra into spatially compact blocks of at most `maxTets` each
// and returns the blocks, each with the exact bounding box of its tetrahedra.
//
// The viewer searches a point only in the first block whose box holds it, so boxes that
// overlap cost lookups; boxes are made not to overlap where the mesh allows it. The
// tetrahedra are cut in two again and again, across the longest side of their centroids'
// box, at the place among the middle half of their centroid order where the two halves'
// boxes overlap least (nearest the middle among equals). A mesh that has a plane of faces
// there, as the split cells of a structured grid have, gives two boxes that only touch.
std::vector<BlockSpan> Partition(TetMesh* mesh, uint32_t maxTets);

// How many blocks have a box whose inside overlaps another block's box.
uint64_t CountOverlappingBlocks(const std::vector<BlockSpan>& blocks);

}  // namespace kav
