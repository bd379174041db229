// The ".kav" data files: the volume file "volume.kav" and the four surface files
// "surface-1.kav" .. "surface-4.kav". The magic, the record layouts and sizes, the surface
// roles and names, and bounds-checked reading and writing, for every program that reads or
// writes them. All numbers are little-endian; doubles are IEEE 754 binary64.
//
// Volume file: magic, minimum and maximum vertex records (the data's extent and field
// ranges), vertex count, vertex records, then block records to the end of the file: the box
// interleaved by axis (min x, max x, min y, ...), a tetrahedron count and four vertex
// indices per tetrahedron.
// Surface file: magic, minimum and maximum vertex records, vertex and triangle counts, vertex
// records, then per triangle three vertex indices and a normal of three doubles.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "volume/console.h"
#include "volume/types.h"

const char kKavMagic[] = "SKAV";  // the first four bytes of every data file, no terminator
const uint64_t kMagicBytes = 4;
const uint64_t kVertexBytes = 72;
const uint64_t kCountBytes = 4;
const uint64_t kVolumeHeaderBytes = kMagicBytes + 2 * kVertexBytes + kCountBytes;       // 152
const uint64_t kSurfaceHeaderBytes = kMagicBytes + 2 * kVertexBytes + 2 * kCountBytes;  // 156
const uint64_t kBlockHeaderBytes = 6 * 8 + kCountBytes;                                 // 52
const uint64_t kTetraBytes = 4 * kCountBytes;                                           // 16
const uint64_t kTriangleBytes = 3 * kCountBytes + 3 * 8;                                // 36

static_assert(sizeof(Vertex) == kVertexBytes, "Vertex must match the vertex record");

const char kVolumeFileName[] = "volume.kav";

// The four city surfaces in file order.
enum SurfaceRole : int {
    kSurfaceWalls = 0,
    kSurfaceCeiling = 1,
    kSurfaceCity = 2,
    kSurfaceFloor = 3
};
const int kSurfaceCount = 4;
// "surface-1.kav" for the walls .. "surface-4.kav" for the floor.
std::string SurfaceFileName(int role);

// How loading a data file ended. A refused file was opened but is not a whole, consistent
// data file; the object that read it stays as it was before.
enum class LoadStatus { kLoaded, kCannotOpen, kWrongMagic, kRefused };

struct LoadResult {
    LoadStatus status = LoadStatus::kLoaded;
    std::string message;  // the console line that reports a failure, without its newline
    std::string problem;  // what is wrong, in a few words, for tools that word it their way

    bool Loaded() const { return status == LoadStatus::kLoaded; }
};

// The result for a file that cannot be opened, from errno: "ERROR:: <reason>".
LoadResult CannotOpen();

// Reads an open file with its measured size, so that every count read from it is checked
// against the bytes actually left before it sizes an allocation. The first failure is kept
// as a LoadResult.
class KavReader {
public:
    KavReader(FILE* file, const char* name);

    // Reads exactly `size` bytes; on a short read fails with "the file ends inside <what>".
    bool Read(void* dst, uint64_t size, const char* what);
    // True when `count` records of `recordSize` bytes fit in what is left of the file.
    bool Holds(uint64_t count, uint64_t recordSize) const;
    uint64_t Remaining() const { return size - offset; }
    uint64_t Offset() const { return offset; }

    // Checks the magic; a file too short to hold it is refused, a wrong one is kWrongMagic.
    bool CheckMagic();
    // A block record's box (min x, max x, min y, max y, min z, max z) and tetrahedron count.
    bool ReadBlockHeader(double* box, uint32_t* count);

    // Records `ERROR: "<file>": <what>; nothing loaded from it.` and returns false.
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const LoadResult& Result() const { return result; }

private:
    FILE* file;
    const char* name;
    uint64_t size;
    uint64_t offset;
    LoadResult result;
};

// Writes records in the layouts above to an open file; remembers whether every write went
// through.
class KavWriter {
public:
    explicit KavWriter(FILE* file) : file(file) {}

    void PutVolumeHeader(const Vertex& minimum, const Vertex& maximum, uint32_t numPoints);
    void PutSurfaceHeader(const Vertex& minimum, const Vertex& maximum, uint32_t numPoints,
                          uint32_t numTris);
    void PutVertices(const Vertex* vertices, size_t count);
    // A block record's header: its box as `min` and `max` corners, and its tetrahedron count.
    void PutBlockHeader(const double* min, const double* max, uint32_t numTetra);
    void PutTetra(const uint32_t* indices);
    void PutTriangle(const uint32_t* indices, const double* normal);
    bool Ok() const { return ok; }

private:
    void Put(const void* data, size_t bytes);

    FILE* file;
    bool ok = true;
};

// The content of a surface file: the header's two vertex records (the surface's box in their
// points, the field ranges of the colouring in the rest), the vertices, and per triangle its
// three vertex indices and its normal.
struct SurfaceData {
    Vertex minimum;
    Vertex maximum;
    std::vector<Vertex> points;
    std::vector<std::array<uint32_t, 3>> faces;
    std::vector<std::array<double, 3>> normals;
};

// Reads a surface file from an open stream, printing "File contains %li points and %li
// triangles..." once the counts are known; `name` labels messages. On failure `out` is left
// as it was and the result says why.
LoadResult ReadSurfaceStream(FILE* file, const char* name, SurfaceData* out,
                             Console console = Console());
