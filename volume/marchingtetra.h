// Isosurface extraction by marching tetrahedra over the blocks of a volume.
#pragma once

#include <cstdint>
#include <vector>

#include "volume/console.h"
#include "volume/progress.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"

// Replaces the triangles of `out` by the surface where `field` equals `value`, block by block
// in list order, printing "Block %i processed.. %i triangles added." for each block. It
// passes over the blocks and runs of tetrahedra that the volume's run ranges show the value
// cannot cut. The blocks are shared out among `threads` threads (0: DefaultThreads()); the
// triangles, their order and the printed lines are the same for any count. With `progress`,
// the blocks are counted there and a cancellation stops the work between blocks: then false,
// and `out` holds the surface of the blocks finished before it, in list order.
bool ExtractIsosurface(const TetrahedralVolume& vol, FieldVar field, double value,
                       TriangleStore* out, Console console = Console(),
                       Progress* progress = nullptr, int threads = 0);

// The surface in blocks [first, end) alone, for a process holding those blocks of a volume
// (see TetrahedralVolume::ReadShare): the triangles of each block in turn go to `out`, and
// their number to `counts` (one per block). Prints nothing.
void ExtractBlocks(const TetrahedralVolume& vol, FieldVar field, double value, size_t first,
                   size_t end, TriangleStore* out, std::vector<uint32_t>* counts, int threads = 0);
