#include "volume/tetravolume.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "volume/blocklocator.h"
#include "volume/cellindex.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Tetrahedra whose indices are read at a time.
const uint32_t kChunkTetra = 4096;

// Asks the kernel to back a large array with huge pages, which makes first touching it
// several times cheaper; a hint only, so failure changes nothing.
void AdviseHugePages(void* data, uint64_t bytes) {
    const uintptr_t page = 4096;
    uintptr_t first = ((uintptr_t)data + page - 1) & ~(page - 1);
    uintptr_t last = ((uintptr_t)data + bytes) & ~(page - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void SetAllNaN(Vertex* v) {
    double* d = reinterpret_cast<double*>(v);
    for (int i = 0; i < 9; ++i) d[i] = kNaN;
}

}  // namespace

TetrahedralVolume::TetrahedralVolume() {
    Clear();
}

TetrahedralVolume::~TetrahedralVolume() = default;

void TetrahedralVolume::Clear() {
    points.reset();
    num_Points = 0;
    blocks.clear();
    SetAllNaN(&Minimum);
    SetAllNaN(&Maximum);
    blockLocator.reset();
    caches.reset();
}

LoadResult TetrahedralVolume::ReadFile(const char* filename, Console console) {
    console.Print("Reading tetrahedral volume file \"%s\"...\n", filename);
    FILE* file = fopen(filename, "rb");
    if (!file) return CannotOpen();
    LoadResult result = ReadStream(file, filename, console);
    fclose(file);
    return result;
}

LoadResult TetrahedralVolume::ReadStream(FILE* file, const char* name, Console console) {
    if (num_Points > 0 || !blocks.empty()) Clear();
    KavReader in(file, name);
    bool ok = in.CheckMagic() && in.Read(&Minimum, sizeof(Vertex), "the header") &&
              in.Read(&Maximum, sizeof(Vertex), "the header");
    if (ok) {
        console.Print("Volume spans:\n");
        console.Print("\tX:\t%lf\t%lf\n", Minimum.point[0], Maximum.point[0]);
        console.Print("\tY:\t%lf\t%lf\n", Minimum.point[1], Maximum.point[1]);
        console.Print("\tZ:\t%lf\t%lf\n", Minimum.point[2], Maximum.point[2]);
        ok = ReadVertices(in, console) && ReadBlocks(in, console);
    }
    if (!ok) {
        // A refused file leaves the volume as if it had never been loaded.
        Clear();
        return in.Result();
    }
    // Each block read goes to the head of the list.
    std::reverse(blocks.begin(), blocks.end());
    blockLocator = std::make_unique<BlockLocator>(blocks);
    caches.reset(new BlockCache[blocks.size()]);
    return in.Result();
}

bool TetrahedralVolume::ReadVertices(KavReader& in, Console& console) {
    uint32_t count;
    if (!in.Read(&count, sizeof count, "the header")) return false;
    console.Print("-> %li vertices.\n", (long)count);
    if (!in.Holds(count, sizeof(Vertex))) {
        return in.Fail("%u vertices need %llu bytes but only %llu follow the header", count,
                       (unsigned long long)count * sizeof(Vertex),
                       (unsigned long long)in.Remaining());
    }
    // Left uninitialised: the read fills every record.
    points.reset(new Vertex[count]);
    num_Points = count;
    AdviseHugePages(points.get(), (uint64_t)count * sizeof(Vertex));
    return in.Read(points.get(), (uint64_t)count * sizeof(Vertex), "the vertex array");
}

bool TetrahedralVolume::ReadBlocks(KavReader& in, Console& console) {
    console.Print("-> Reading Tetrahedral Blocks...\n");
    while (in.Remaining() > 0) {
        Block block;
        if (!ReadBlock(in, console, &block)) return false;
        blocks.push_back(std::move(block));
    }
    return true;
}

bool TetrahedralVolume::ReadBlock(KavReader& in, Console& console, Block* block) {
    double box[6];
    uint32_t count;
    if (!in.ReadBlockHeader(box, &count)) return false;
    for (int a = 0; a < 3; ++a) {
        block->min[a] = box[2 * a];
        block->max[a] = box[2 * a + 1];
    }
    console.Print("\r-> A block of %li tetrahedra.          ", (long)count);
    console.Flush();
    if (!in.Holds(count, kTetraBytes)) {
        return in.Fail("a block of %u tetrahedra at offset %llu runs past the end of the file",
                       count, (unsigned long long)(in.Offset() - kBlockHeaderBytes));
    }
    block->tetra.reset(new Tetra[count]);
    block->num_Tetra = count;
    // Indices arrive in chunks small enough to stay in cache while they become pointers.
    uint32_t chunk[4 * kChunkTetra];
    for (uint32_t first = 0; first < count; first += kChunkTetra) {
        uint32_t n = count - first < kChunkTetra ? count - first : kChunkTetra;
        if (!in.Read(chunk, n * kTetraBytes, "a block record")) return false;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t* k = chunk + 4 * i;
            if (k[0] >= num_Points || k[1] >= num_Points || k[2] >= num_Points ||
                k[3] >= num_Points) {
                return in.Fail(
                    "tetrahedron %u of a block refers to a vertex beyond the %u vertices",
                    first + i, num_Points);
            }
            for (int j = 0; j < 4; ++j) block->tetra[first + i].v[j] = points.get() + k[j];
        }
    }
    return true;
}

double TetrahedralVolume::GetVal(FieldVar field, const Vertex* v) {
    switch (field) {
        case fieldDensity:
            return v->Density;
        case fieldEnergy:
            return v->Energy;
        case fieldMomentum:
            return v->MomentumMag;
    }
    return kNaN;
}

void TetrahedralVolume::GetRange(FieldVar field, double* range) const {
    range[0] = GetVal(field, &Minimum);
    range[1] = GetVal(field, &Maximum);
}

RunRanges& TetrahedralVolume::GetRunRanges(size_t b, FieldVar field) const {
    return caches[b].runRanges[field];
}
