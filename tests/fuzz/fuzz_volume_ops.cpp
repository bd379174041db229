// Fuzz target of what the viewer does with a volume file: any bytes as "volume.kav", then
// point location and isosurface extraction on whatever loaded.
#include <cstdint>
#include <cstdio>
#include <string>

#include "volume/marchingtetra.h"
#include "volume/pointlocator.h"
#include "volume/tetravolume.h"

namespace {

// Bounds the work per input, so that time goes into reading many inputs.
const int kBlocksProbed = 8;
const uint32_t kTetraProbed = 4;

// Point location at the centroid of a few tetrahedra of a block, and at its box's centre.
void ProbeBlock(PointLocator& locator, const Block* block) {
    Vertex out;
    for (uint32_t t = 0; t < block->num_Tetra && t < kTetraProbed; ++t) {
        double p[3] = {0, 0, 0};
        for (const Vertex* v : block->tetra[t].v) {
            for (int a = 0; a < 3; ++a) p[a] += v->point[a] / 4;
        }
        locator.InterpolatePoint(p, &out);
    }
    double centre[3];
    for (int a = 0; a < 3; ++a) centre[a] = block->min[a] / 2 + block->max[a] / 2;
    locator.InterpolatePoint(centre, &out);
}

// One isosurface per field at a value some vertex holds, so that tetrahedra are cut.
void Extract(const TetrahedralVolume& vol) {
    if (vol.GetBlocks().empty() || vol.GetBlocks()[0].num_Tetra == 0) return;
    const Vertex* v = vol.GetBlocks()[0].tetra[0].v[0];
    const double values[3] = {v->Density, v->Energy, v->MomentumMag};
    TriangleStore iso;
    for (int f = 0; f < 3; ++f) ExtractIsosurface(vol, static_cast<FieldVar>(f), values[f], &iso);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // A wrong magic refuses the whole file at once: every input long enough to hold one gets
    // the right magic, so that the campaign explores what follows it.
    if (size >= 4) bytes.replace(0, 4, "SKAV");
    FILE* file = fmemopen(&bytes[0], bytes.size(), "rb");
    if (!file) return 0;
    TetrahedralVolume vol;
    vol.ReadStream(file, "volume.kav");
    fclose(file);

    PointLocator locator(vol);
    for (size_t b = 0; b < vol.GetBlocks().size() && b < kBlocksProbed; ++b)
        ProbeBlock(locator, &vol.GetBlocks()[b]);
    Extract(vol);
    return 0;
}
