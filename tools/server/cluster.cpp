#include "tools/server/cluster.h"

#include <time.h>

namespace {

// Tests before the first sleep, and the sleep: short enough for the rounds of path line
// tracing, long enough that a waiting process costs next to nothing.
const int kSpins = 64;
const long kSleepNs = 50000;

void Nap() {
    timespec t{0, kSleepNs};
    nanosleep(&t, nullptr);
}

}  // namespace

void Await(MPI_Request* request) {
    for (int i = 0;; ++i) {
        int done = 0;
        MPI_Test(request, &done, MPI_STATUS_IGNORE);
        if (done) return;
        if (i >= kSpins) Nap();
    }
}

void AwaitAll(std::vector<MPI_Request>* requests) {
    for (int i = 0;; ++i) {
        int done = 0;
        MPI_Testall((int)requests->size(), requests->data(), &done, MPI_STATUSES_IGNORE);
        if (done) return;
        if (i >= kSpins) Nap();
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
        if (i >= kSpins) Nap();
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
