#include "tools/server/cluster.h"

#include <time.h>

#include <algorithm>

namespace {

// Tests before the first sleep, and the sleeps: short at first, for the quick rounds of path
// line tracing, then growing, so that a server waiting for clients costs next to nothing.
const int kSpins = 64;
const long kFirstSleepNs = 20000;
const long kLongestSleepNs = 2000000;

// Sleeps after `i` tests.
void Nap(int i) {
    const int doublings = std::min((i - kSpins) / 16, 10);
    timespec t{0, std::min(kFirstSleepNs << doublings, kLongestSleepNs)};
    nanosleep(&t, nullptr);
}

}  // namespace

void Await(MPI_Request* request) {
    for (int i = 0;; ++i) {
        int done = 0;
        MPI_Test(request, &done, MPI_STATUS_IGNORE);
        if (done) return;
        if (i >= kSpins) Nap(i);
    }
}

void AwaitAll(std::vector<MPI_Request>* requests) {
    for (int i = 0;; ++i) {
        int done = 0;
        MPI_Testall((int)requests->size(), requests->data(), &done, MPI_STATUSES_IGNORE);
        if (done) return;
        if (i >= kSpins) Nap(i);
    }
}

void BroadcastBytes(std::string* bytes, int root) {
    unsigned long long size = bytes->size();
    MPI_Request request;
    MPI_Ibcast(&size, 1, MPI_UNSIGNED_LONG_LONG, root, MPI_COMM_WORLD, &request);
    Await(&request);
    bytes->resize(size);
    if (size == 0) return;
    MPI_Ibcast(&(*bytes)[0], (int)size, MPI_BYTE, root, MPI_COMM_WORLD, &request);
    Await(&request);
}

void ReceiveBytes(std::string* bytes, int source, int tag) {
    MPI_Message message;
    MPI_Status status;
    for (int i = 0;; ++i) {
        int found = 0;
        MPI_Improbe(source, tag, MPI_COMM_WORLD, &found, &message, &status);
        if (found) break;
        if (i >= kSpins) Nap(i);
    }
    int count = 0;
    MPI_Get_count(&status, MPI_BYTE, &count);
    bytes->resize(count);
    MPI_Request request;
    MPI_Imrecv(count ? &(*bytes)[0] : nullptr, count, MPI_BYTE, &message, &request);
    Await(&request);
}

long long SumOver(long long value) {
    long long sum = 0;
    MPI_Request request;
    MPI_Iallreduce(&value, &sum, 1, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD, &request);
    Await(&request);
    return sum;
}

std::string GatherBytes(const std::string& bytes) {
    int rank = 0, size = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    int mine = (int)bytes.size();
    std::vector<int> counts(rank == 0 ? size : 0), offsets(counts.size(), 0);
    MPI_Request request;
    MPI_Igather(&mine, 1, MPI_INT, counts.data(), 1, MPI_INT, 0, MPI_COMM_WORLD, &request);
    Await(&request);
    std::string joined;
    if (rank == 0) {
        for (int p = 1; p < size; ++p) offsets[p] = offsets[p - 1] + counts[p - 1];
        joined.resize((size_t)offsets.back() + counts.back());
    }
    MPI_Igatherv(bytes.data(), mine, MPI_BYTE, &joined[0], counts.data(), offsets.data(), MPI_BYTE,
                 0, MPI_COMM_WORLD, &request);
    Await(&request);
    return joined;
}
