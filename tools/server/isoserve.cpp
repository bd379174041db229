// Isosurfaces: every process extracts its blocks on its threads; process 0 sends its own
// blocks, then each other process's in turn, block by block as they arrive.
#include <vector>

#include "remote/socket.h"
#include "tools/server/work.h"
#include "volume/marchingtetra.h"

namespace {

const int kTagIsoBlock = 21;

// The kIsoBlock message of block `b`, whose `count` triangles start at triangle `first` of
// `store`.
std::string PackBlock(const TriangleStore& store, size_t first, uint32_t b, uint32_t count) {
    MessageWriter m(MessageType::kIsoBlock);
    m.U32(b);
    m.U32(count);
    for (size_t i = first; i < first + count; ++i) m.Raw(&store[i], kTriangleWireBytes);
    return m.Take();
}

}  // namespace

void ServeIso(const Cluster& cluster, const Share& share, const Request& request,
              ClientLink* client) {
    const size_t first = share.starts[cluster.rank], end = share.starts[cluster.rank + 1];
    TriangleStore store;
    std::vector<uint32_t> counts;
    ExtractBlocks(share.volume, request.field, request.value, first, end, &store, &counts,
                  cluster.threads);
    std::vector<std::string> packed(end - first);
    std::vector<MPI_Request> sends;
    size_t at = 0;
    for (size_t b = first; b < end; ++b) {
        std::string& message = packed[b - first];
        message = PackBlock(store, at, (uint32_t)b, counts[b - first]);
        at += counts[b - first];
        if (cluster.rank == 0) {
            client->Send(message);
            continue;
        }
        sends.emplace_back();
        MPI_Isend(message.data(), (int)message.size(), MPI_BYTE, 0, kTagIsoBlock, MPI_COMM_WORLD,
                  &sends.back());
    }
    if (cluster.rank != 0) {
        AwaitAll(&sends);
        return;
    }
    std::string message;
    for (int p = 1; p < cluster.size; ++p) {
        for (size_t b = share.starts[p]; b < share.starts[p + 1]; ++b) {
            ReceiveBytes(&message, p, kTagIsoBlock);
            client->Send(message);
        }
    }
    client->Send(MessageWriter(MessageType::kIsoEnd).Take());
}
