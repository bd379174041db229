// Path lines over the processes. A line travels: each process traces it as far as its own
// blocks allow, and when a lookup needs a block held elsewhere, the line, with its lookup
// half-done and its searcher's caches, moves there at the end of the round. Each visit
// leaves a piece of the line (points and console text) where it happened; at the end
// process 0 gathers the pieces and sends the lines in order.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/server/work.h"
#include "volume/linetravel.h"
#include "volume/parallel.h"
#include "volume/pathline.h"

namespace {

const int kTagPieces = 22;

void PackPiece(const Piece& piece, MessageWriter* m) {
    m->U32(piece.line);
    m->U32(piece.visit);
    m->String(piece.text);
    m->U32((uint32_t)piece.points.size());
    m->Raw(piece.points.data(), piece.points.size() * sizeof(Particle));
}

bool UnpackPiece(MessageReader* in, Piece* piece) {
    uint32_t count;
    if (!in->U32(&piece->line) || !in->U32(&piece->visit) ||
        !in->String(&piece->text, kMaxReplyBytes) || !in->U32(&count))
        return false;
    const char* points = in->Records(count, sizeof(Particle));
    if (!points) return false;
    piece->points.resize(count);
    if (count > 0) memcpy(piece->points.data(), points, count * sizeof(Particle));
    return true;
}

// One round's moves: the lines leaving for each process go there. Returns the lines that
// arrived here.
std::vector<Traveller> Exchange(const Cluster& cluster, const std::vector<Traveller>& leaving,
                                const std::vector<int>& to) {
    std::vector<int> sendCounts(cluster.size, 0), receiveCounts(cluster.size, 0);
    for (int p : to) sendCounts[p] += (int)sizeof(Traveller);
    std::vector<int> sendOffsets(cluster.size, 0), receiveOffsets(cluster.size, 0);
    for (int p = 1; p < cluster.size; ++p) sendOffsets[p] = sendOffsets[p - 1] + sendCounts[p - 1];
    std::vector<Traveller> sorted(leaving.size());
    std::vector<int> at = sendOffsets;
    for (size_t i = 0; i < leaving.size(); ++i) {
        sorted[at[to[i]] / sizeof(Traveller)] = leaving[i];
        at[to[i]] += (int)sizeof(Traveller);
    }
    MPI_Request request;
    MPI_Ialltoall(sendCounts.data(), 1, MPI_INT, receiveCounts.data(), 1, MPI_INT, MPI_COMM_WORLD,
                  &request);
    Await(&request);
    for (int p = 1; p < cluster.size; ++p)
        receiveOffsets[p] = receiveOffsets[p - 1] + receiveCounts[p - 1];
    const int received = receiveOffsets.back() + receiveCounts.back();
    std::vector<Traveller> arrived(received / sizeof(Traveller));
    MPI_Ialltoallv(sorted.data(), sendCounts.data(), sendOffsets.data(), MPI_BYTE, arrived.data(),
                   receiveCounts.data(), receiveOffsets.data(), MPI_BYTE, MPI_COMM_WORLD, &request);
    Await(&request);
    return arrived;
}

// Sends the lines, put together from the pieces of every process, to the client in order.
void SendLines(const Cluster& cluster, size_t count, std::vector<Piece> mine, ClientLink* client) {
    std::vector<std::vector<Piece>> byLine(count);
    for (Piece& piece : mine) byLine[piece.line].push_back(std::move(piece));
    std::string bytes;
    for (int p = 1; p < cluster.size; ++p) {
        ReceiveBytes(&bytes, p, kTagPieces);
        MessageReader in(bytes);
        Piece piece;
        while (!in.Done() && UnpackPiece(&in, &piece) && piece.line < count)
            byLine[piece.line].push_back(std::move(piece));
    }
    for (size_t i = 0; i < count; ++i) {
        std::vector<Piece>& pieces = byLine[i];
        std::sort(pieces.begin(), pieces.end(),
                  [](const Piece& a, const Piece& b) { return a.visit < b.visit; });
        std::string text;
        std::vector<Particle> points;
        for (const Piece& piece : pieces) {
            text += piece.text;
            points.insert(points.end(), piece.points.begin(), piece.points.end());
        }
        MessageWriter m(MessageType::kLine);
        m.U32((uint32_t)i);
        m.String(text);
        m.U32((uint32_t)points.size());
        m.Raw(points.data(), points.size() * sizeof(Particle));
        client->Send(m.Take());
        byLine[i].clear();
        byLine[i].shrink_to_fit();
    }
    client->Send(MessageWriter(MessageType::kLinesEnd).Take());
}

}  // namespace

void ServeLines(const Cluster& cluster, const Share& share, const Request& request,
                ClientLink* client) {
    const std::vector<Seed>& seeds = request.seeds;
    // Each process starts every size-th line; the first lookup sends it where it belongs.
    std::vector<Traveller> here;
    for (size_t i = cluster.rank; i < seeds.size(); i += cluster.size) {
        here.push_back(StartTraveller((uint32_t)i, seeds[i]));
    }
    const int workers = ResolveThreads(cluster.threads);
    std::vector<std::unique_ptr<ShareLocator>> locators;
    for (int w = 0; w < workers; ++w)
        locators.push_back(
            std::make_unique<ShareLocator>(share.volume, share.starts, cluster.rank));
    std::vector<Piece> pieces;
    for (;;) {
        std::vector<Piece> visits(here.size());
        std::vector<int> to(here.size());
        ParallelFor(here.size(), workers, [&](size_t i, int worker) {
            to[i] = TravelLine(&here[i], locators[worker].get(), &visits[i]);
        });
        for (Piece& piece : visits) pieces.push_back(std::move(piece));
        std::vector<Traveller> leaving;
        std::vector<int> leavingTo;
        for (size_t i = 0; i < here.size(); ++i) {
            if (to[i] < 0) continue;
            leaving.push_back(here[i]);
            leavingTo.push_back(to[i]);
        }
        // A client gone stops the request on every process.
        long long state[2] = {(long long)leaving.size(),
                              cluster.rank == 0 && client->Gone() ? 1 : 0};
        long long total[2] = {0, 0};
        MPI_Request reduce;
        MPI_Iallreduce(state, total, 2, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD, &reduce);
        Await(&reduce);
        if (total[1] > 0) return;
        if (total[0] == 0) break;
        here = Exchange(cluster, leaving, leavingTo);
    }
    if (cluster.rank != 0) {
        MessageWriter m(MessageType::kLine);
        for (const Piece& piece : pieces) PackPiece(piece, &m);
        // The message type byte is not part of the pieces.
        std::string bytes = m.Take().substr(1);
        MPI_Request send;
        MPI_Isend(bytes.data(), (int)bytes.size(), MPI_BYTE, 0, kTagPieces, MPI_COMM_WORLD, &send);
        Await(&send);
        return;
    }
    SendLines(cluster, seeds.size(), std::move(pieces), client);
}
