// Path lines over the processes. A line travels: each process traces it as far as its own
// blocks allow, and when a lookup needs a block held elsewhere, the line, with its lookup
// half-done and its searcher's caches, moves there at the end of the round. Each visit
// makes a piece of the line (points and console text); after every round process 0 gathers
// the round's pieces and sends the lines finished so far, in order.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/server/work.h"
#include "volume/linetravel.h"
#include "volume/parallel.h"
#include "volume/pathline.h"

namespace {

void PackPiece(const Piece& piece, MessageWriter* m) {
    m->U32(piece.line);
    m->U32(piece.visit);
    m->U8(piece.ended ? 1 : 0);
    m->String(piece.text);
    m->U32((uint32_t)piece.points.size());
    m->Raw(piece.points.data(), piece.points.size() * sizeof(Particle));
}

bool UnpackPiece(MessageReader* in, Piece* piece) {
    uint32_t count;
    uint8_t ended;
    if (!in->U32(&piece->line) || !in->U32(&piece->visit) || !in->U8(&ended) ||
        !in->String(&piece->text, kMaxReplyBytes) || !in->U32(&count))
        return false;
    const char* points = in->Records(count, sizeof(Particle));
    if (!points) return false;
    piece->ended = ended != 0;
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

// Process 0's side: puts the lines together from the pieces of every process, and sends
// each finished line to the client once every line before it has gone.
class LineAssembler {
public:
    explicit LineAssembler(size_t count) : pieces(count), ended(count, 0) {}

    // Takes pieces packed one after the other; false when they do not decode.
    bool Take(const std::string& bytes) {
        MessageReader in(bytes);
        Piece piece;
        while (!in.Done()) {
            if (!UnpackPiece(&in, &piece) || piece.line >= pieces.size()) return false;
            ended[piece.line] |= piece.ended;
            pieces[piece.line].push_back(std::move(piece));
        }
        return true;
    }

    void SendFinished(ClientLink* client) {
        for (; next < pieces.size() && ended[next]; ++next) {
            std::vector<Piece>& line = pieces[next];
            std::sort(line.begin(), line.end(),
                      [](const Piece& a, const Piece& b) { return a.visit < b.visit; });
            std::string text;
            std::vector<Particle> points;
            for (const Piece& piece : line) {
                text += piece.text;
                points.insert(points.end(), piece.points.begin(), piece.points.end());
            }
            MessageWriter m(MessageType::kLine);
            m.U32((uint32_t)next);
            m.String(text);
            m.U32((uint32_t)points.size());
            m.Raw(points.data(), points.size() * sizeof(Particle));
            client->Send(m.Take());
            std::vector<Piece>().swap(line);
        }
    }

private:
    std::vector<std::vector<Piece>> pieces;  // per line, in the order they arrived
    std::vector<char> ended;
    size_t next = 0;  // the first line not sent yet
};

}  // namespace

LineTraffic ServeLines(const Cluster& cluster, const Share& share, const Request& request,
                       ClientLink* client) {
    LineTraffic traffic;
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
    LineAssembler assembler(cluster.rank == 0 ? seeds.size() : 0);
    for (;;) {
        std::vector<Piece> visits(here.size());
        std::vector<int> to(here.size());
        ParallelFor(here.size(), workers, [&](size_t i, int worker) {
            to[i] = TravelLine(&here[i], locators[worker].get(), &visits[i]);
        });
        // The round's pieces go to process 0, which sends the lines finished so far.
        MessageWriter packed(MessageType::kLine);
        for (const Piece& piece : visits) PackPiece(piece, &packed);
        const std::string joined = GatherBytes(packed.Take().substr(1));
        if (cluster.rank == 0) {
            assembler.Take(joined);
            assembler.SendFinished(client);
        }
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
        if (total[1] > 0) return traffic;
        if (total[0] == 0) break;
        ++traffic.rounds;
        traffic.moves += total[0];
        here = Exchange(cluster, leaving, leavingTo);
    }
    if (cluster.rank == 0) client->Send(MessageWriter(MessageType::kLinesEnd).Take());
    return traffic;
}
