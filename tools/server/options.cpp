#include "tools/server/options.h"

#include "tools/argparse.h"

const char* ServerUsage() {
    return "usage: mpirun -np N velmora-server [--port P] [--bind ADDR] [--token-file FILE]\n"
           "                                   [--threads N] DATADIR\n"
           "Serves isosurfaces and path lines of DATADIR/volume.kav, spread over the N\n"
           "processes, to velmora --connect and velmora-batch --connect.\n"
           "  --port P          the TCP port (default 7420; 0: any free one)\n"
           "  --bind ADDR       the address to listen on (default 127.0.0.1). Any other than\n"
           "                    127.0.0.1, ::1 or localhost needs a token: the server\n"
           "                    writes a random one to FILE, readable only by you, and\n"
           "                    clients pass it with --token-file FILE\n"
           "  --token-file FILE where the token goes (default $HOME/.velmora-server-token)\n"
           "  --threads N       threads per process (default: VELMORA_THREADS, else every core)\n";
}

bool ParseServerOptions(int argc, const char* const* argv, ServerOptions* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--port") {
            if (!hasValue || !ParseInt(argv[++i], 0, 65535, &o->port))
                return Fail(error, "--port takes a number from 0 to 65535");
        } else if (arg == "--bind") {
            if (!hasValue || argv[i + 1][0] == '\0') return Fail(error, "--bind takes an address");
            o->bind = argv[++i];
        } else if (arg == "--token-file") {
            if (!hasValue || argv[i + 1][0] == '\0')
                return Fail(error, "--token-file takes a file name");
            o->tokenFile = argv[++i];
        } else if (arg == "--threads") {
            if (!hasValue || !ParseInt(argv[++i], 1, 4096, &o->threads))
                return Fail(error, "--threads takes a number from 1 to 4096");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail(error, "unknown option \"" + arg + "\"");
        } else if (o->dataDir.empty()) {
            o->dataDir = arg;
        } else {
            return Fail(error, "more than one DATADIR");
        }
    }
    if (o->dataDir.empty()) return Fail(error, "missing DATADIR");
    return true;
}
