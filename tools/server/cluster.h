// What the processes of velmora-server share: their number and place, and MPI calls that
// wait without spinning, so that waiting processes leave the cores to those at work.
#pragma once

#include <mpi.h>

#include <string>
#include <vector>

struct Cluster {
    int rank = 0;
    int size = 1;
    int threads = 0;  // per process; 0: DefaultThreads()
};

// Waits for `request` to complete, sleeping between tests.
void Await(MPI_Request* request);
void AwaitAll(std::vector<MPI_Request>* requests);
// Broadcasts `bytes` from `root` to every process.
void BroadcastBytes(std::string* bytes, int root);
// Receives the next message with `tag` from `source` into `bytes`.
void ReceiveBytes(std::string* bytes, int source, int tag);
// Process 0 receives every process's `bytes`, joined in process order; the others get "".
std::string GatherBytes(const std::string& bytes);
// The sum over the processes of `value`.
long long SumOver(long long value);
