// The flow volume: an unstructured tetrahedral mesh in spatial blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "volume/types.h"

struct BlockLocator;
class CellIndex;
class Isosurface;
class KavReader;

// The scalar flow variables; momentum as a scalar always means its magnitude. The fixed
// underlying type makes any int a valid FieldVar, so that a value outside the enumeration
// reaches GetVal (which answers NaN) without undefined behaviour.
enum FieldVar : int { fieldDensity = 0, fieldEnergy = 1, fieldMomentum = 2 };

// Four pointers into the owning volume's vertex array. v[0] is the base of the barycentric
// frame, and positions 0..3 are the vertex numbers of the marching tables.
struct Tetra {
    Vertex* v[4];
};

// A spatial block: a box and the tetrahedra filed under it. The volume keeps blocks in a list.
typedef struct _Block {
    struct _Block* next;
    Vector min;
    Vector max;
    uint32_t num_Tetra;
    Tetra* tetra;
    // Spatial index over `tetra` for point location, built when first needed; owned.
    CellIndex* index;
} Block;

// One isosurface triangle: corners in drawing order and its unit normal.
typedef struct _Triangle {
    Vector point[3];
    Vector normal;
    struct _Triangle* next;
} Triangle;

class TetrahedralVolume {
public:
    TetrahedralVolume();
    ~TetrahedralVolume();
    TetrahedralVolume(const TetrahedralVolume&) = delete;
    TetrahedralVolume& operator=(const TetrahedralVolume&) = delete;

    // Loads a volume file into this empty volume; reports problems on the console.
    void ReadFile(const char* filename);
    // Loads from an already open stream (a file or a memory buffer); `name` labels messages.
    void ReadStream(FILE* file, const char* name);

    // The range of a field over the dataset as the file states it: [lowest, highest].
    // NaN for a field outside the enumeration and for a volume that never loaded.
    void GetRange(FieldVar field, double* range) const;

    // Point location: the momentum at `point`, interpolated in the tetrahedron that holds it.
    bool InterpolatePoint(double* point, Vertex* V);
    // Searches a block by evaluating its tetrahedra one by one instead of through its index.
    // Same answers, much slower; kept as the yardstick for tests and benchmarks.
    void SetReferenceScan(bool on) { referenceScan = on; }
    // Replaces the triangles of `iso` by the isosurface of `field` at `value`.
    void GenerateIsosurface(FieldVar field, double value, Isosurface* iso);

    uint32_t GetNumPoints() const { return num_Points; }
    const Block* GetFirstBlock() const { return firstBlock; }

private:
    static double GetVal(FieldVar field, const Vertex* v);
    bool ReadVertices(KavReader& in);
    bool ReadBlocks(KavReader& in);
    bool ReadBlock(KavReader& in, Block* block);

    Tetra* FindCell(double* point, double* weights);
    Block* FindBlock(double* point);
    int EvaluateCell(Tetra* tet, double* point, double* weights);
    static double determinant(const double* a, const double* b, const double* c);
    void IndexCells(Block* block) const;
    Tetra* ScanBlock(Block* block, double* point, double* weights);
    Tetra* SearchIndex(Block* block, double* point, double* weights);
    Tetra* SearchBlock(Block* block, double* point, double* weights);
    Tetra* SearchOtherBlocks(Block* searched, double* point, double* weights);
    const BlockLocator& Locator();
    int MarchingTetra(Tetra* tet, FieldVar field, double value, Isosurface* iso);
    // Extraction's summary of the blocks: per field and block, the scalar extremes of the
    // block and of each run of consecutive tetrahedra in it, so that extraction passes over
    // the blocks and runs the value cannot cut. Recorded by the first extraction of each field
    // (marchingtetra.cpp), for the block list that it walked.
    std::vector<float> runRanges[3];
    const Block* runRangesFor[3] = {nullptr, nullptr, nullptr};
    void Clear();

    Vertex* points;
    Vertex Minimum;
    Vertex Maximum;
    uint32_t num_Points;
    Block* firstBlock;
    Block* guess;
    Tetra* cellGuess;
    bool referenceScan;
    BlockLocator* blockLocator;  // grid over the block boxes, built when first needed; owned

    // Unit tests inspect the point-location caches through it.
    friend class PointLocationProbe;
};
