// The flow volume: an unstructured tetrahedral mesh in spatial blocks. Loaded once, then only
// read, so that any number of threads can search and extract from it at once. What searches
// and extraction read by the million is derived at load, on every core, in compact arrays.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "volume/arena.h"
#include "volume/console.h"
#include "volume/kavformat.h"
#include "volume/types.h"
#include "volume/volumeshare.h"

class BlockLocator;
class CellIndex;
class TetraFrames;

// The scalar flow variables; momentum as a scalar always means its magnitude. The fixed
// underlying type makes any int a valid FieldVar, so that a value outside the enumeration
// reaches GetVal (which answers NaN) without undefined behaviour.
enum FieldVar : int { fieldDensity = 0, fieldEnergy = 1, fieldMomentum = 2 };
const int kFieldCount = 3;

// Four pointers into the owning volume's vertex array. v[0] is the base of the barycentric
// frame, and positions 0..3 are the vertex numbers of the marching tables.
struct Tetra {
    const Vertex* v[4];
};

// Point location's data of one block (see IndexTetrahedra).
struct BlockSearch {
    std::unique_ptr<CellIndex> index;
    const TetraFrames* frames = nullptr;  // in the volume's arena
};

// A spatial block: a box and the tetrahedra filed under it.
struct Block {
    Vector min;
    Vector max;
    uint32_t num_Tetra = 0;
    std::unique_ptr<Tetra[]> tetra;
};

// The position and momentum of a vertex, packed apart from the 72-byte records: what point
// location and interpolation read. Each takes a cache line of its own, so that a corner costs
// one load.
struct alignas(64) FlowNode {
    Vector point;
    Vector momentum;
};

// Tetrahedra per run of the run ranges: a run is a small, spatially coherent piece of its
// block, so that a surface cuts few of them, while their extremes (two floats per field)
// stay a small fraction of the tetrahedra's memory.
const uint32_t kRunTetra = 16;

class TetrahedralVolume {
public:
    TetrahedralVolume();
    ~TetrahedralVolume();
    TetrahedralVolume(const TetrahedralVolume&) = delete;
    TetrahedralVolume& operator=(const TetrahedralVolume&) = delete;

    // Loads a volume file into this empty volume, printing its extent, vertex count and
    // blocks, then derives the search and extraction data on `threads` threads (0: the
    // default, see DefaultThreads). On failure the volume stays empty and the result says
    // why.
    LoadResult ReadFile(const char* filename, Console console = Console(), int threads = 0);
    // Loads from an already open stream (a file or a memory buffer); `name` labels messages.
    LoadResult ReadStream(FILE* file, const char* name, Console console = Console(),
                          int threads = 0);

    // Loads a share of the volume file `fd` laid out as `layout`: the tetrahedra of blocks
    // [first, end) in list order, and only the vertices they use, all read with positioned
    // reads. Every block of the layout keeps its box and its number; the others hold no
    // tetrahedra here. Vertices are numbered afresh in file order. Prints nothing.
    LoadResult ReadShare(int fd, const char* name, const VolumeLayout& layout, size_t first,
                         size_t end, int threads = 0);

    // The range of a field over the dataset as the file states it: [lowest, highest].
    // NaN for a field outside the enumeration and for a volume that never loaded.
    void GetRange(FieldVar field, double* range) const;
    // The header's two vertex records: the data's extent and field ranges as the file states.
    const Vertex& GetMinimum() const { return Minimum; }
    const Vertex& GetMaximum() const { return Maximum; }
    // The vertex's value of `field`; NaN for a field outside the enumeration.
    static double GetVal(FieldVar field, const Vertex* v);

    uint32_t GetNumPoints() const { return num_Points; }
    const Vertex* GetPoints() const { return points.get(); }
    // The blocks in list order: the reverse of their order in the file.
    const std::vector<Block>& GetBlocks() const { return blocks; }

    // The grid over the block boxes, built at load; only for a volume with blocks.
    const BlockLocator& GetBlockLocator() const { return *blockLocator; }
    // The index over block `b`'s tetrahedra, and their frames.
    const CellIndex& GetCellIndex(size_t b) const { return *derived[b].search.index; }
    const TetraFrames& GetFrames(size_t b) const { return *derived[b].search.frames; }
    // Block `b`'s tetrahedra as vertex numbers, four per tetrahedron in the order of
    // Tetra::v: GetPoints() + GetVertexNumbers(b)[4 * i + k] is block b's tetra[i].v[k].
    const uint32_t* GetVertexNumbers(size_t b) const { return derived[b].vertexNumbers; }
    // The vertices' positions and momentum, in vertex order.
    const FlowNode* GetNodes() const { return nodes.data; }
    // The vertices' values of `field`, in vertex order; null for a field outside the
    // enumeration.
    const double* GetScalars(FieldVar field) const;
    // The extremes of `field` in block `b`, rounded outwards to floats: the block's own
    // (lowest, highest), then one pair per run of kRunTetra consecutive tetrahedra. Any NaN
    // among the scalars makes the lowest NaN. Null for a field outside the enumeration.
    const float* GetRunRanges(size_t b, FieldVar field) const;

private:
    bool ReadVertices(KavReader& in, Console& console);
    bool ReadBlocks(KavReader& in, Console& console);
    bool ReadBlock(KavReader& in, Console& console, Block* block, uint32_t** numbers);
    bool ReadShareVertices(int fd, const std::vector<uint64_t>& used, std::vector<uint32_t>* rank);
    void Derive(int threads);
    void DeriveBlock(size_t b);
    void Clear();

    // What searches and extraction read of a block, derived at load.
    struct Derived {
        const uint32_t* vertexNumbers = nullptr;
        BlockSearch search;
        const float* runRanges[kFieldCount] = {nullptr, nullptr, nullptr};
    };

    std::unique_ptr<Vertex[]> points;
    uint32_t num_Points = 0;
    Vertex Minimum;
    Vertex Maximum;
    std::vector<Block> blocks;
    std::unique_ptr<Arena> arena;  // declared before what lives in it
    ArenaArray<FlowNode> nodes;
    ArenaArray<double> scalars[kFieldCount];
    std::vector<Derived> derived;  // one per block
    std::unique_ptr<BlockLocator> blockLocator;
};
