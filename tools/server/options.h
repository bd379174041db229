// The command line of velmora-server:
//   mpirun -np N velmora-server [--port P] [--bind ADDR] [--token-file FILE] [--threads N]
//                               DATADIR
#pragma once

#include <string>

struct ServerOptions {
    int port = 7420;
    std::string bind = "127.0.0.1";
    std::string tokenFile;  // empty: $HOME/.velmora-server-token, when a token is needed
    int threads = 0;        // per process; 0: VELMORA_THREADS, else every core
    std::string dataDir;
};

const char* ServerUsage();
// False with the reason in `error` when the command line is not understood.
bool ParseServerOptions(int argc, const char* const* argv, ServerOptions* options,
                        std::string* error);
