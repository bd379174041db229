#include "volume/volumeshare.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

LoadResult RefusedFile(const char* name, const char* format, ...) {
    char what[512];
    va_list args;
    va_start(args, format);
    vsnprintf(what, sizeof what, format, args);
    va_end(args);
    return {LoadStatus::kRefused,
            std::string("ERROR: \"") + name + "\": " + what + "; nothing loaded from it.", what};
}

bool ReadFileAt(int fd, void* dst, uint64_t bytes, uint64_t offset) {
    char* at = static_cast<char*>(dst);
    while (bytes > 0) {
        ssize_t got = pread(fd, at, bytes, (off_t)offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        bytes -= (uint64_t)got;
        offset += (uint64_t)got;
    }
    return true;
}

uint64_t VolumeLayout::TetraCount() const {
    uint64_t total = 0;
    for (const BlockHeader& b : blocks) total += b.numTetra;
    return total;
}

LoadResult ReadVolumeLayout(int fd, const char* name, VolumeLayout* layout, Console console) {
    struct stat s;
    if (fstat(fd, &s) != 0) return CannotOpen();
    const uint64_t size = (uint64_t)s.st_size;
    char magic[kMagicBytes];
    if (size < kMagicBytes || !ReadFileAt(fd, magic, kMagicBytes, 0)) {
        return RefusedFile(name,
                           "the file ends inside the magic number (4 bytes needed at offset 0, "
                           "%llu left)",
                           (unsigned long long)size);
    }
    if (memcmp(magic, kKavMagic, kMagicBytes) != 0) {
        return {LoadStatus::kWrongMagic, "File is not in valid SKAV format!",
                "it does not start with SKAV, so it is no file of the viewer"};
    }
    VolumeLayout out;
    if (size < kVolumeHeaderBytes || !ReadFileAt(fd, &out.minimum, kVertexBytes, kMagicBytes) ||
        !ReadFileAt(fd, &out.maximum, kVertexBytes, kMagicBytes + kVertexBytes)) {
        return RefusedFile(name, "the file ends inside the header");
    }
    console.Print("Volume spans:\n");
    console.Print("\tX:\t%lf\t%lf\n", out.minimum.point[0], out.maximum.point[0]);
    console.Print("\tY:\t%lf\t%lf\n", out.minimum.point[1], out.maximum.point[1]);
    console.Print("\tZ:\t%lf\t%lf\n", out.minimum.point[2], out.maximum.point[2]);
    if (!ReadFileAt(fd, &out.numPoints, kCountBytes, kMagicBytes + 2 * kVertexBytes))
        return RefusedFile(name, "the file ends inside the header");
    console.Print("-> %li vertices.\n", (long)out.numPoints);
    uint64_t offset = kVolumeHeaderBytes;
    if ((uint64_t)out.numPoints > (size - offset) / kVertexBytes) {
        return RefusedFile(name, "%u vertices need %llu bytes but only %llu follow the header",
                           out.numPoints, (unsigned long long)out.numPoints * kVertexBytes,
                           (unsigned long long)(size - offset));
    }
    offset += (uint64_t)out.numPoints * kVertexBytes;
    console.Print("-> Reading Tetrahedral Blocks...\n");
    while (offset < size) {
        BlockHeader b;
        if (size - offset < kBlockHeaderBytes || !ReadFileAt(fd, b.box, sizeof b.box, offset) ||
            !ReadFileAt(fd, &b.numTetra, kCountBytes, offset + sizeof b.box)) {
            return RefusedFile(name,
                               "the file ends inside a block record (%llu bytes needed at "
                               "offset %llu, %llu left)",
                               (unsigned long long)kBlockHeaderBytes, (unsigned long long)offset,
                               (unsigned long long)(size - offset));
        }
        console.Print("\r-> A block of %li tetrahedra.          ", (long)b.numTetra);
        console.Flush();
        b.offset = offset + kBlockHeaderBytes;
        if ((uint64_t)b.numTetra > (size - b.offset) / kTetraBytes) {
            return RefusedFile(name,
                               "a block of %u tetrahedra at offset %llu runs past the end of "
                               "the file",
                               b.numTetra, (unsigned long long)offset);
        }
        out.blocks.push_back(b);
        offset = b.offset + (uint64_t)b.numTetra * kTetraBytes;
    }
    // Each block read goes to the head of the list.
    std::reverse(out.blocks.begin(), out.blocks.end());
    *layout = std::move(out);
    return LoadResult();
}

std::vector<size_t> SplitBlocks(const VolumeLayout& layout, int parts) {
    parts = std::max(parts, 1);
    const uint64_t total = layout.TetraCount();
    std::vector<size_t> starts(parts + 1, layout.blocks.size());
    starts[0] = 0;
    uint64_t before = 0;  // tetrahedra in the blocks before b
    int part = 1;
    for (size_t b = 0; b < layout.blocks.size() && part < parts; ++b) {
        // Block b opens part p once most of it lies past the p-th equal share.
        const uint64_t middle = 2 * before + layout.blocks[b].numTetra;
        while (part < parts && middle > 2 * total * (uint64_t)part / (uint64_t)parts) {
            starts[part++] = b;
        }
        before += layout.blocks[b].numTetra;
    }
    return starts;
}
