// Isosurface extraction by marching tetrahedra over the blocks of a volume.
#pragma once

#include "volume/console.h"
#include "volume/progress.h"
#include "volume/tetravolume.h"
#include "volume/trianglestore.h"

// Replaces the triangles of `out` by the surface where `field` equals `value`, block by block
// in list order, printing "Block %i processed.. %i triangles added." for each block.
// The first extraction of a field records per-block summaries in the volume, so that later
// ones pass over the blocks and runs of tetrahedra the value cannot cut. With `progress`, the
// blocks are counted there and a cancellation stops the work between blocks: then false,
// and `out` holds only part of the surface.
bool ExtractIsosurface(const TetrahedralVolume& vol, FieldVar field, double value,
                       TriangleStore* out, Console console = Console(),
                       Progress* progress = nullptr);
