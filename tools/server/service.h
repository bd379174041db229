// Process 0's side of velmora-server: the clients on their sockets, one request at a time;
// and the other processes' side: the requests as process 0 passes them on.
#pragma once

#include <string>

#include "tools/server/cluster.h"
#include "tools/server/share.h"

// Serves clients on `listenFd` until the process ends. `token` empty: none is asked for.
void RunService(const Cluster& cluster, const Share& share, int listenFd, const std::string& token);
// Carries out the requests that process 0 passes on, until it says to stop.
void RunWorker(const Cluster& cluster, const Share& share);
// Tells the other processes to stop (process 0).
void StopWorkers();
