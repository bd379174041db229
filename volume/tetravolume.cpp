#include "volume/tetravolume.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "volume/kavreader.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// On-disk size of a block record without its tetrahedra, and of one tetrahedron.
const uint64_t kBlockHeaderBytes = 52;
const uint64_t kTetraBytes = 16;

void SetAllNaN(Vertex* v) {
    double* d = reinterpret_cast<double*>(v);
    for (int i = 0; i < 9; ++i) d[i] = kNaN;
}

}  // namespace

TetrahedralVolume::TetrahedralVolume()
    : points(nullptr), num_Points(0), firstBlock(nullptr), guess(nullptr), cellGuess(nullptr) {
    SetAllNaN(&Minimum);
    SetAllNaN(&Maximum);
}

TetrahedralVolume::~TetrahedralVolume() {
    Clear();
}

void TetrahedralVolume::Clear() {
    delete[] points;
    points = nullptr;
    num_Points = 0;
    while (firstBlock) {
        Block* next = firstBlock->next;
        delete[] firstBlock->tetra;
        delete firstBlock;
        firstBlock = next;
    }
    guess = nullptr;
    cellGuess = nullptr;
}

void TetrahedralVolume::ReadFile(const char* filename) {
    printf("Reading tetrahedral volume file \"%s\"...\n", filename);
    FILE* file = fopen(filename, "rb");
    if (!file) {
        fflush(stdout);
        perror("ERROR:");
        return;
    }
    ReadStream(file, filename);
    fclose(file);
}

void TetrahedralVolume::ReadStream(FILE* file, const char* name) {
    KavReader in(file, name);
    bool ok = in.CheckMagic() && in.Read(&Minimum, sizeof(Vertex), "the header") &&
              in.Read(&Maximum, sizeof(Vertex), "the header");
    if (ok) {
        printf("Volume spans:\n");
        printf("\tX:\t%lf\t%lf\n", Minimum.point[0], Maximum.point[0]);
        printf("\tY:\t%lf\t%lf\n", Minimum.point[1], Maximum.point[1]);
        printf("\tZ:\t%lf\t%lf\n", Minimum.point[2], Maximum.point[2]);
        ok = ReadVertices(in) && ReadBlocks(in);
    }
    if (!ok) {
        // A refused file leaves the volume as if it had never been loaded.
        Clear();
        SetAllNaN(&Minimum);
        SetAllNaN(&Maximum);
    }
}

bool TetrahedralVolume::ReadVertices(KavReader& in) {
    uint32_t count;
    if (!in.Read(&count, sizeof count, "the header")) return false;
    printf("-> %li vertices.\n", (long)count);
    if (!in.Holds(count, sizeof(Vertex))) {
        return in.Fail("%u vertices need %llu bytes but only %llu follow the header", count,
                       (unsigned long long)count * sizeof(Vertex),
                       (unsigned long long)in.Remaining());
    }
    points = new Vertex[count];
    num_Points = count;
    return in.Read(points, (uint64_t)count * sizeof(Vertex), "the vertex array");
}

bool TetrahedralVolume::ReadBlocks(KavReader& in) {
    printf("-> Reading Tetrahedral Blocks...\n");
    while (in.Remaining() > 0) {
        Block* block = new Block();
        if (!ReadBlock(in, block)) {
            delete[] block->tetra;
            delete block;
            return false;
        }
        block->next = firstBlock;
        firstBlock = block;
    }
    return true;
}

bool TetrahedralVolume::ReadBlock(KavReader& in, Block* block) {
    double box[6];
    if (!in.Read(box, sizeof box, "a block record")) return false;
    for (int a = 0; a < 3; ++a) {
        block->min[a] = box[2 * a];
        block->max[a] = box[2 * a + 1];
    }
    uint32_t count;
    if (!in.Read(&count, sizeof count, "a block record")) return false;
    printf("\r-> A block of %li tetrahedra.          ", (long)count);
    fflush(stdout);
    if (!in.Holds(count, kTetraBytes)) {
        return in.Fail("a block of %u tetrahedra at offset %llu runs past the end of the file",
                       count, (unsigned long long)(in.Offset() - kBlockHeaderBytes));
    }
    block->tetra = new Tetra[count];
    block->num_Tetra = count;
    if (count == 0) {
        ComputeFieldRanges(block);
        return true;
    }

    // The indices (16 bytes per tetrahedron) are read into the upper half of the pointer
    // array (32 bytes per tetrahedron) and widened in place from the front: tetrahedron i is
    // written over bytes [32i, 32i + 32), which never reach the indices of i + 1 onwards.
    static_assert(sizeof(Tetra) == 2 * kTetraBytes, "in-place widening needs 8-byte pointers");
    uint32_t* indices = reinterpret_cast<uint32_t*>(block->tetra) + 4 * (uint64_t)count;
    if (!in.Read(indices, count * kTetraBytes, "a block record")) return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t k[4];
        memcpy(k, indices + 4 * (uint64_t)i, sizeof k);
        if (k[0] >= num_Points || k[1] >= num_Points || k[2] >= num_Points || k[3] >= num_Points) {
            block->num_Tetra = 0;
            return in.Fail("tetrahedron %u of a block refers to a vertex beyond the %u vertices", i,
                           num_Points);
        }
        for (int j = 0; j < 4; ++j) block->tetra[i].v[j] = points + k[j];
    }
    ComputeFieldRanges(block);
    return true;
}

void TetrahedralVolume::ComputeFieldRanges(Block* block) const {
    const double inf = std::numeric_limits<double>::infinity();
    double lo[3] = {inf, inf, inf}, hi[3] = {-inf, -inf, -inf};
    bool nan[3] = {false, false, false};
    for (uint32_t i = 0; i < block->num_Tetra; ++i) {
        for (const Vertex* v : block->tetra[i].v) {
            const double s[3] = {v->Density, v->Energy, v->MomentumMag};
            for (int f = 0; f < 3; ++f) {
                if (s[f] < lo[f]) lo[f] = s[f];
                if (s[f] > hi[f]) hi[f] = s[f];
                nan[f] |= std::isnan(s[f]);
            }
        }
    }
    for (int f = 0; f < 3; ++f) {
        block->fieldMin[f] = nan[f] ? kNaN : lo[f];
        block->fieldMax[f] = hi[f];
    }
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
