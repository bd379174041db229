// The flow volume: an unstructured tetrahedral mesh in spatial blocks. Loaded once, then only
// read, so that any number of threads can search and extract from it at once; what searches
// and extraction derive from it (indices, field summaries) is built behind once-only guards.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "volume/console.h"
#include "volume/kavformat.h"
#include "volume/types.h"

class BlockLocator;
class CellIndex;

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

// A spatial block: a box and the tetrahedra filed under it.
struct Block {
    Vector min;
    Vector max;
    uint32_t num_Tetra = 0;
    std::unique_ptr<Tetra[]> tetra;
};

// Extraction's summary of one block for one field: the scalar extremes of the block and of
// each run of consecutive tetrahedra in it, recorded by the first extraction of that field.
struct RunRanges {
    std::once_flag once;
    std::unique_ptr<float[]> ranges;
};

class TetrahedralVolume {
public:
    TetrahedralVolume();
    ~TetrahedralVolume();
    TetrahedralVolume(const TetrahedralVolume&) = delete;
    TetrahedralVolume& operator=(const TetrahedralVolume&) = delete;

    // Loads a volume file into this empty volume, printing its extent, vertex count and
    // blocks. On failure the volume stays empty and the result says why.
    LoadResult ReadFile(const char* filename, Console console = Console());
    // Loads from an already open stream (a file or a memory buffer); `name` labels messages.
    LoadResult ReadStream(FILE* file, const char* name, Console console = Console());

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
    // The index over block `b`'s tetrahedra, built by the first search that needs it, so that
    // loading stays a plain read and blocks that no search visits cost nothing.
    const CellIndex& GetCellIndex(size_t b) const;
    // Block `b`'s summary for `field`, for extraction to fill once and read after.
    RunRanges& GetRunRanges(size_t b, FieldVar field) const;

private:
    bool ReadVertices(KavReader& in, Console& console);
    bool ReadBlocks(KavReader& in, Console& console);
    bool ReadBlock(KavReader& in, Console& console, Block* block);
    void Clear();

    // What searches and extraction derive from a block, once.
    struct BlockCache {
        std::once_flag indexOnce;
        std::unique_ptr<CellIndex> index;
        RunRanges runRanges[kFieldCount];
    };

    std::unique_ptr<Vertex[]> points;
    uint32_t num_Points = 0;
    Vertex Minimum;
    Vertex Maximum;
    std::vector<Block> blocks;
    std::unique_ptr<BlockLocator> blockLocator;
    std::unique_ptr<BlockCache[]> caches;  // one per block
};
