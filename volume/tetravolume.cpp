#include "volume/tetravolume.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "volume/blocklocator.h"
#include "volume/cellindex.h"
#include "volume/parallel.h"
#include "volume/pointlocator.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Tetrahedra whose indices are read at a time.
const uint32_t kChunkTetra = 4096;
// Vertices copied into the packed arrays per piece of work.
const uint32_t kChunkVertices = 1 << 16;

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

// The extremes rounded outwards to float, so that a range never claims less than it holds.
float FloorToFloat(double x) {
    float f = (float)x;
    return f > x ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}
float CeilToFloat(double x) {
    float f = (float)x;
    return f < x ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

// Extremes of a set of scalars as the run ranges keep them: NaN scalars are left out of the
// maximum, and any NaN makes the minimum NaN, so that no value compares as at or below it.
struct Extremes {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    bool nan = false;

    void Add(double x) {
        lo = x < lo ? x : lo;
        hi = x > hi ? x : hi;
        nan |= std::isnan(x);
    }
    void Add(const Extremes& e) {
        lo = e.lo < lo ? e.lo : lo;
        hi = e.hi > hi ? e.hi : hi;
        nan |= e.nan;
    }
    void Store(float* range) const {
        range[0] = nan ? std::numeric_limits<float>::quiet_NaN() : FloorToFloat(lo);
        range[1] = CeilToFloat(hi);
    }
};

// Floats of the run ranges per block and field: the block's own pair, then one per run.
size_t RangeFloats(uint32_t numTetra) {
    return 2 + 2 * (size_t)((numTetra + kRunTetra - 1) / kRunTetra);
}

// Records the run ranges of one field of a block whose tetrahedra are `numbers`.
void RecordRanges(const uint32_t* numbers, uint32_t count, const double* scalar, float* ranges) {
    Extremes whole;
    float* run = ranges + 2;
    for (uint32_t first = 0; first < count; first += kRunTetra, run += 2) {
        const uint32_t end = std::min(first + kRunTetra, count);
        Extremes part;
        for (uint32_t i = 4 * first; i < 4 * end; ++i) part.Add(scalar[numbers[i]]);
        part.Store(run);
        whole.Add(part);
    }
    whole.Store(ranges);
}

}  // namespace

TetrahedralVolume::TetrahedralVolume() {
    Clear();
}

TetrahedralVolume::~TetrahedralVolume() = default;

void TetrahedralVolume::Clear() {
    blockLocator.reset();
    derived.clear();
    nodes = ArenaArray<FlowNode>();
    for (ArenaArray<double>& s : scalars) s = ArenaArray<double>();
    points.reset();
    num_Points = 0;
    blocks.clear();
    SetAllNaN(&Minimum);
    SetAllNaN(&Maximum);
    arena.reset();
}

LoadResult TetrahedralVolume::ReadFile(const char* filename, Console console, int threads) {
    console.Print("Reading tetrahedral volume file \"%s\"...\n", filename);
    FILE* file = fopen(filename, "rb");
    if (!file) return CannotOpen();
    LoadResult result = ReadStream(file, filename, console, threads);
    fclose(file);
    return result;
}

LoadResult TetrahedralVolume::ReadStream(FILE* file, const char* name, Console console,
                                         int threads) {
    if (num_Points > 0 || !blocks.empty()) Clear();
    arena = std::make_unique<Arena>();
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
    Derive(threads);
    return in.Result();
}

LoadResult TetrahedralVolume::ReadShare(int fd, const char* name, const VolumeLayout& layout,
                                        size_t first, size_t end, int threads) {
    if (num_Points > 0 || !blocks.empty()) Clear();
    arena = std::make_unique<Arena>();
    // One bit per vertex of the file: whether the share uses it.
    std::vector<uint64_t> used(((size_t)layout.numPoints + 63) / 64, 0);
    blocks.resize(layout.blocks.size());
    derived.resize(blocks.size());
    LoadResult result;
    for (size_t b = 0; b < blocks.size() && result.Loaded(); ++b) {
        const BlockHeader& h = layout.blocks[b];
        for (int a = 0; a < 3; ++a) {
            blocks[b].min[a] = h.box[2 * a];
            blocks[b].max[a] = h.box[2 * a + 1];
        }
        if (b < first || b >= end) continue;
        uint32_t* numbers = arena->Allocate<uint32_t>(4 * (size_t)h.numTetra);
        if (!ReadFileAt(fd, numbers, h.numTetra * kTetraBytes, h.offset)) {
            result = RefusedFile(name, "read error inside a block record at offset %llu",
                                 (unsigned long long)h.offset);
            break;
        }
        for (size_t i = 0; i < 4 * (size_t)h.numTetra; ++i) {
            if (numbers[i] >= layout.numPoints) {
                result = RefusedFile(
                    name, "tetrahedron %zu of a block refers to a vertex beyond the %u vertices",
                    i / 4, layout.numPoints);
                break;
            }
            used[numbers[i] >> 6] |= uint64_t(1) << (numbers[i] & 63);
        }
        blocks[b].num_Tetra = h.numTetra;
        derived[b].vertexNumbers = numbers;
    }
    // rank[w]: the vertices used before word w of the bit set, which numbers them afresh.
    std::vector<uint32_t> rank;
    if (result.Loaded() && !ReadShareVertices(fd, used, &rank)) {
        result = RefusedFile(name, "read error inside the vertex array");
    }
    if (!result.Loaded()) {
        Clear();
        return result;
    }
    Minimum = layout.minimum;
    Maximum = layout.maximum;
    for (size_t b = first; b < end; ++b) {
        uint32_t* numbers = const_cast<uint32_t*>(derived[b].vertexNumbers);
        blocks[b].tetra.reset(new Tetra[blocks[b].num_Tetra]);
        for (size_t i = 0; i < 4 * (size_t)blocks[b].num_Tetra; ++i) {
            const uint32_t k = numbers[i];
            const uint64_t below = used[k >> 6] & ((uint64_t(1) << (k & 63)) - 1);
            numbers[i] = rank[k >> 6] + (uint32_t)__builtin_popcountll(below);
            blocks[b].tetra[i / 4].v[i % 4] = points.get() + numbers[i];
        }
    }
    Derive(threads);
    return result;
}

bool TetrahedralVolume::ReadShareVertices(int fd, const std::vector<uint64_t>& used,
                                          std::vector<uint32_t>* rank) {
    rank->resize(used.size());
    uint32_t count = 0;
    for (size_t w = 0; w < used.size(); ++w) {
        (*rank)[w] = count;
        count += (uint32_t)__builtin_popcountll(used[w]);
    }
    points.reset(new Vertex[count]);
    num_Points = count;
    // The vertices arrive in pieces of up to kPieceWords * 64 records, each read from its
    // first used vertex to its last, so that scattered vertices cost few reads.
    const size_t kPieceWords = 64;
    std::vector<Vertex> piece(kPieceWords * 64);
    Vertex* out = points.get();
    for (size_t w0 = 0; w0 < used.size(); w0 += kPieceWords) {
        const size_t w1 = std::min(used.size(), w0 + kPieceWords);
        size_t lo = SIZE_MAX, hi = 0;
        for (size_t w = w0; w < w1; ++w) {
            if (!used[w]) continue;
            lo = std::min(lo, 64 * w + __builtin_ctzll(used[w]));
            hi = 64 * w + 63 - __builtin_clzll(used[w]);
        }
        if (lo == SIZE_MAX) continue;
        if (!ReadFileAt(fd, piece.data(), (hi - lo + 1) * kVertexBytes,
                        kVolumeHeaderBytes + lo * kVertexBytes))
            return false;
        for (size_t w = w0; w < w1; ++w) {
            for (uint64_t bits = used[w]; bits; bits &= bits - 1) {
                *out++ = piece[64 * w + __builtin_ctzll(bits) - lo];
            }
        }
    }
    return true;
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
    std::vector<uint32_t*> numbers;
    while (in.Remaining() > 0) {
        Block block;
        uint32_t* blockNumbers = nullptr;
        if (!ReadBlock(in, console, &block, &blockNumbers)) return false;
        blocks.push_back(std::move(block));
        numbers.push_back(blockNumbers);
    }
    // Each block read goes to the head of the list.
    std::reverse(blocks.begin(), blocks.end());
    std::reverse(numbers.begin(), numbers.end());
    derived.resize(blocks.size());
    for (size_t b = 0; b < blocks.size(); ++b) derived[b].vertexNumbers = numbers[b];
    return true;
}

bool TetrahedralVolume::ReadBlock(KavReader& in, Console& console, Block* block,
                                  uint32_t** numbers) {
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
    uint32_t* kept = *numbers = arena->Allocate<uint32_t>(4 * (size_t)count);
    // Indices arrive in chunks small enough to stay in cache while they become pointers.
    for (uint32_t first = 0; first < count; first += kChunkTetra) {
        uint32_t n = count - first < kChunkTetra ? count - first : kChunkTetra;
        uint32_t* chunk = kept + 4 * (size_t)first;
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

void TetrahedralVolume::Derive(int threads) {
    threads = ResolveThreads(threads);
    nodes.Allocate(arena.get(), num_Points);
    for (ArenaArray<double>& s : scalars) s.Allocate(arena.get(), num_Points);
    const size_t chunks = (num_Points + (size_t)kChunkVertices - 1) / kChunkVertices;
    ParallelFor(chunks, threads, [&](size_t c, int) {
        const uint32_t first = (uint32_t)(c * kChunkVertices);
        const uint32_t end = std::min(num_Points, first + kChunkVertices);
        for (uint32_t i = first; i < end; ++i) {
            const Vertex& v = points[i];
            for (int a = 0; a < 3; ++a) {
                nodes[i].point[a] = v.point[a];
                nodes[i].momentum[a] = v.Momentum[a];
            }
            scalars[fieldDensity][i] = v.Density;
            scalars[fieldEnergy][i] = v.Energy;
            scalars[fieldMomentum][i] = v.MomentumMag;
        }
    });
    // The largest blocks first, so that no thread is left with a big one at the end.
    std::vector<size_t> order(blocks.size());
    for (size_t b = 0; b < order.size(); ++b) order[b] = b;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const uint32_t na = blocks[a].num_Tetra, nb = blocks[b].num_Tetra;
        return na != nb ? na > nb : a < b;
    });
    ParallelFor(order.size(), threads, [&](size_t i, int) { DeriveBlock(order[i]); });
    if (!blocks.empty()) blockLocator = std::make_unique<BlockLocator>(arena.get(), blocks);
}

void TetrahedralVolume::DeriveBlock(size_t b) {
    Derived& d = derived[b];
    d.search = IndexTetrahedra(arena.get(), blocks[b], nodes.data, d.vertexNumbers);
    const uint32_t count = blocks[b].num_Tetra;
    for (int f = 0; f < kFieldCount; ++f) {
        float* ranges = arena->Allocate<float>(RangeFloats(count));
        RecordRanges(d.vertexNumbers, count, scalars[f].data, ranges);
        d.runRanges[f] = ranges;
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

const double* TetrahedralVolume::GetScalars(FieldVar field) const {
    return field >= 0 && field < kFieldCount ? scalars[field].data : nullptr;
}

const float* TetrahedralVolume::GetRunRanges(size_t b, FieldVar field) const {
    return field >= 0 && field < kFieldCount ? derived[b].runRanges[field] : nullptr;
}
