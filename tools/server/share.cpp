#include "tools/server/share.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

std::string PackLayout(const VolumeLayout& layout) {
    std::string bytes(2 * sizeof(Vertex) + sizeof(uint32_t), '\0');
    memcpy(&bytes[0], &layout.minimum, sizeof(Vertex));
    memcpy(&bytes[sizeof(Vertex)], &layout.maximum, sizeof(Vertex));
    memcpy(&bytes[2 * sizeof(Vertex)], &layout.numPoints, sizeof(uint32_t));
    bytes.append(reinterpret_cast<const char*>(layout.blocks.data()),
                 layout.blocks.size() * sizeof(BlockHeader));
    return bytes;
}

void UnpackLayout(const std::string& bytes, VolumeLayout* layout) {
    const size_t fixed = 2 * sizeof(Vertex) + sizeof(uint32_t);
    memcpy(&layout->minimum, &bytes[0], sizeof(Vertex));
    memcpy(&layout->maximum, &bytes[sizeof(Vertex)], sizeof(Vertex));
    memcpy(&layout->numPoints, &bytes[2 * sizeof(Vertex)], sizeof(uint32_t));
    layout->blocks.resize((bytes.size() - fixed) / sizeof(BlockHeader));
    memcpy(layout->blocks.data(), bytes.data() + fixed,
           layout->blocks.size() * sizeof(BlockHeader));
}

// Agrees on failure: true on every process when all succeeded; else process 0 gets the
// first failing process's message.
bool AllLoaded(const Cluster& cluster, const LoadResult& mine, std::string* error) {
    const int failedHere = mine.Loaded() ? 0 : 1;
    if (SumOver(failedHere) == 0) return true;
    // The lowest failing process tells process 0 why.
    int first = failedHere ? cluster.rank : cluster.size;
    int lowest = 0;
    MPI_Allreduce(&first, &lowest, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    std::string text = mine.message;
    if (lowest != 0) {
        if (cluster.rank == lowest)
            MPI_Send(text.data(), (int)text.size(), MPI_BYTE, 0, 9, MPI_COMM_WORLD);
        if (cluster.rank == 0) ReceiveBytes(&text, lowest, 9);
    }
    if (cluster.rank == 0) *error = text;
    return false;
}

}  // namespace

bool LoadShare(const Cluster& cluster, const std::string& path, Share* share, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY);
    LoadResult result = fd < 0 ? CannotOpen() : LoadResult();
    if (fd < 0 && cluster.rank == 0) {
        printf("Reading tetrahedral volume file \"%s\"...\n", path.c_str());
        result.message = path + ": " + result.message;
    }
    std::string packed;
    if (cluster.rank == 0 && fd >= 0) {
        printf("Reading tetrahedral volume file \"%s\"...\n", path.c_str());
        std::string lines;
        result = ReadVolumeLayout(fd, path.c_str(), &share->layout, Console(&lines));
        fputs(lines.c_str(), stdout);
        share->loadingText =
            std::string("Reading tetrahedral volume file \"") + kVolumeFileName + "\"...\n" + lines;
        if (result.Loaded()) packed = PackLayout(share->layout);
    }
    if (!AllLoaded(cluster, result, error)) {
        if (fd >= 0) close(fd);
        return false;
    }
    BroadcastBytes(&packed, 0);
    if (cluster.rank != 0) UnpackLayout(packed, &share->layout);
    share->starts = SplitBlocks(share->layout, cluster.size);
    result = share->volume.ReadShare(fd, path.c_str(), share->layout, share->starts[cluster.rank],
                                     share->starts[cluster.rank + 1], cluster.threads);
    close(fd);
    return AllLoaded(cluster, result, error);
}
