// The requests as all processes carry them out together: each computes on its own blocks,
// and process 0 sends the results to the client in the order one process would make them.
#pragma once

#include <cstdint>
#include <string>

#include "remote/message.h"
#include "tools/server/cluster.h"
#include "tools/server/share.h"

// Process 0's end of a request: the client it answers. A client that has gone stops the
// sending, not the work of the other processes, which finish the request and drop it.
struct ClientLink {
    int fd = -1;
    bool alive = true;
    uint64_t bytesSent = 0;

    void Send(const std::string& payload);
    // True when the client has closed its end (polled without waiting).
    bool Gone();
};

// Collective: every process calls them with the same request; `client` only on process 0.
void ServeIso(const Cluster& cluster, const Share& share, const Request& request,
              ClientLink* client);
// Returns the rounds of moves it took and the moves of lines between processes.
struct LineTraffic {
    long long rounds = 0;
    long long moves = 0;
};
LineTraffic ServeLines(const Cluster& cluster, const Share& share, const Request& request,
                       ClientLink* client);
