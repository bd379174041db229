// velmora-server: the isosurfaces and path lines of a volume spread over the processes of
// an MPI job, for velmora --connect and velmora-batch --connect. Exit status 2 for a command
// line or volume it cannot use, 1 when it cannot listen.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "remote/socket.h"
#include "tools/server/cluster.h"
#include "tools/server/options.h"
#include "tools/server/service.h"
#include "tools/server/share.h"

namespace {

const int kUsageStatus = 2;

// A random token of 64 hex digits, written to `path` readable by its owner alone.
bool WriteToken(const std::string& path, std::string* token, std::string* error) {
    unsigned char bytes[32];
    if (getrandom(bytes, sizeof bytes, 0) != (ssize_t)sizeof bytes) {
        *error = "no random numbers for the token";
        return false;
    }
    static const char digits[] = "0123456789abcdef";
    token->clear();
    for (unsigned char b : bytes) {
        token->push_back(digits[b >> 4]);
        token->push_back(digits[b & 15]);
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
    const std::string line = *token + "\n";
    bool ok = fd >= 0 && fchmod(fd, 0600) == 0 &&
              write(fd, line.data(), line.size()) == (ssize_t)line.size();
    if (fd >= 0) ok = close(fd) == 0 && ok;
    if (!ok) *error = "cannot write the token file \"" + path + "\"";
    return ok;
}

std::string DefaultTokenFile() {
    const char* home = getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.velmora-server-token";
}

// Process 0 after loading: listens and serves; false when it cannot.
bool Serve(const Cluster& cluster, const Share& share, const ServerOptions& options) {
    std::string error, token;
    if (!IsPlainLoopback(options.bind)) {
        const std::string file = options.tokenFile.empty() ? DefaultTokenFile() : options.tokenFile;
        if (!WriteToken(file, &token, &error)) {
            fprintf(stderr, "ERROR: %s\n", error.c_str());
            return false;
        }
        printf("\nToken written to %s", file.c_str());
    }
    int bound = 0;
    int fd = ListenOn(options.bind, options.port, &bound, &error);
    if (fd < 0) {
        fflush(stdout);
        fprintf(stderr, "\nERROR: %s\n", error.c_str());
        return false;
    }
    const bool v6 = options.bind.find(':') != std::string::npos;
    printf("\nListening on %s%s%s:%d\n", v6 ? "[" : "", options.bind.c_str(), v6 ? "]" : "", bound);
    fflush(stdout);
    RunService(cluster, share, fd, token);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    Cluster cluster;
    MPI_Comm_rank(MPI_COMM_WORLD, &cluster.rank);
    MPI_Comm_size(MPI_COMM_WORLD, &cluster.size);
    ServerOptions options;
    std::string error;
    int status = 0;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        if (cluster.rank == 0) fputs(ServerUsage(), stdout);
    } else if (!ParseServerOptions(argc, argv, &options, &error)) {
        if (cluster.rank == 0)
            fprintf(stderr, "velmora-server: %s (see velmora-server --help)\n", error.c_str());
        status = kUsageStatus;
    } else {
        cluster.threads = options.threads;
        Share share;
        const std::string path = options.dataDir + "/volume.kav";
        if (!LoadShare(cluster, path, &share, &error)) {
            if (cluster.rank == 0) {
                fflush(stdout);
                fprintf(stderr, "%s\n", error.c_str());
            }
            status = kUsageStatus;
        } else if (cluster.rank == 0) {
            if (!Serve(cluster, share, options)) status = 1;
            StopWorkers();
        } else {
            RunWorker(cluster, share);
        }
    }
    MPI_Finalize();
    return status;
}
