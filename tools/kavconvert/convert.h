// The three conversions of kavconvert, from the options to the files written.
#pragma once

#include <array>
#include <cstdint>

#include "tools/kavconvert/cells.h"
#include "tools/kavconvert/mesh.h"
#include "tools/kavconvert/options.h"

namespace kav {

// What a conversion to the viewer's files did, as its closing report shows it.
struct ConversionReport {
    CellCounts cells;
    uint64_t vertices = 0;
    uint64_t tetrahedra = 0;
    uint64_t blocks = 0;
    uint32_t smallestBlock = 0, largestBlock = 0;
    uint64_t overlappingBlocks = 0;
    std::array<uint64_t, kSurfaceCount> triangles{};
    uint64_t patchTriangles = 0;   // triangles of the patches that the options name
    uint64_t strayPatchFaces = 0;  // faces of those patches that are no face of a cell
    Vertex minimum{}, maximum{};   // the volume header
};

// INPUT to OUTDIR/volume.kav and OUTDIR/surface-1.kav .. surface-4.kav. Prints its progress
// and the closing report; throws ConvertError, leaving OUTDIR's files as they were.
ConversionReport ConvertToKav(const Options& options);

// The named patches of INPUT with their face counts, on the console.
void ListPatches(const Options& options);

// KAVDIR/volume.kav to an unstructured grid file, and the four surfaces to a polygon file.
void ConvertToVtu(const Options& options);
void ConvertToVtp(const Options& options);

}  // namespace kav
