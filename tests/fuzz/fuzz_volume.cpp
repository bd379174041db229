// Fuzz target of the volume reader: any bytes as "volume.kav". Whatever loads is walked
// completely, every vertex that a tetrahedron points at is read, and the block field ranges
// are computed, so that a bad pointer or a block with unread contents shows up here.
#include <cstdint>
#include <cstdio>
#include <string>

#include "volume/tetravolume.h"

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

    volatile double sum = 0;
    for (const Block& b : vol.GetBlocks()) {
        for (uint32_t t = 0; t < b.num_Tetra; ++t) {
            for (const Vertex* v : b.tetra[t].v) sum = sum + v->point[0] + v->MomentumMag;
        }
    }
    double range[2];
    vol.GetRange(fieldMomentum, range);
    return 0;
}
