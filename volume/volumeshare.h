// A volume spread over several processes: the block table that one process reads from the
// volume file's headers alone, and each process's share of it, whole blocks consecutive in
// list order, balanced by tetrahedron count.
#pragma once

#include <cstdint>
#include <vector>

#include "volume/console.h"
#include "volume/kavformat.h"
#include "volume/types.h"

// A block record's header and where its tetrahedra lie in the file.
struct BlockHeader {
    double box[6];    // min x, max x, min y, max y, min z, max z, as in the file
    uint64_t offset;  // file offset of the first tetrahedron's indices
    uint32_t numTetra;
    uint32_t pad = 0;
};

// What every process needs to know of the whole volume before reading its share.
struct VolumeLayout {
    Vertex minimum;
    Vertex maximum;
    uint32_t numPoints = 0;
    std::vector<BlockHeader> blocks;  // in list order: the reverse of the file order

    uint64_t TetraCount() const;
};

// The result for a file refused because of `format`: "ERROR: "<name>": <what>; nothing loaded
// from it.", as KavReader words it.
LoadResult RefusedFile(const char* name, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Reads exactly `bytes` at `offset` of the file `fd`; false on a short read or an error.
bool ReadFileAt(int fd, void* dst, uint64_t bytes, uint64_t offset);

// Reads the header, the vertex count and every block header of the volume file `fd` with
// positioned reads, skipping the vertices and tetrahedra, and prints the loading lines that
// TetrahedralVolume::ReadFile prints before deriving. The checks are the loader's, apart
// from the vertex numbers of the tetrahedra, which the processes check as they read them.
LoadResult ReadVolumeLayout(int fd, const char* name, VolumeLayout* layout,
                            Console console = Console());

// The first block (in list order) of each of `parts` shares, then the block count: part p
// holds blocks [starts[p], starts[p + 1]). Consecutive runs of blocks with tetrahedron counts
// as even as whole blocks allow.
std::vector<size_t> SplitBlocks(const VolumeLayout& layout, int parts);
