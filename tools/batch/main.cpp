// velmora-batch: the viewer's isosurfaces and path lines without a window, for scripts,
// benchmarks and tests. Exit status 0 on success, 1 when the result cannot be written,
// 2 for a command line, data folder or volume file it cannot use.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tools/batch/options.h"
#include "tools/batch/run.h"
#include "volume/tetravolume.h"

namespace {

const int kUsageStatus = 2;

bool IsFolder(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    BatchOptions options;
    std::string error;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        fputs(BatchUsage(), stdout);
        return 0;
    }
    if (!ParseBatchOptions(argc, argv, &options, &error)) {
        fprintf(stderr, "velmora-batch: %s (see velmora-batch --help)\n", error.c_str());
        return kUsageStatus;
    }
    if (!options.connect.empty()) {
        RemoteVolume remote(options.connect, options.tokenFile);
        if (!remote.Connect(&error)) {
            fprintf(stderr, "ERROR: %s\n", error.c_str());
            return kUsageStatus;
        }
        BatchSource source;
        source.remote = &remote;
        if (!RunBatch(source, options, stdout, &error)) {
            fflush(stdout);
            fprintf(stderr, "ERROR: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (!IsFolder(options.dataDir)) {
        fprintf(stderr, "ERROR: \"%s\" is not a folder\n", options.dataDir.c_str());
        return kUsageStatus;
    }
    // The loader's own lines are the viewer's start-up, not the work: they are not shown.
    std::string loading;
    TetrahedralVolume volume;
    const std::string path = options.dataDir + "/" + kVolumeFileName;
    LoadResult loaded = volume.ReadFile(path.c_str(), Console(&loading), options.threads);
    if (!loaded.Loaded()) {
        fprintf(stderr, "%s%s\n",
                loaded.status == LoadStatus::kCannotOpen ? (path + ": ").c_str() : "",
                loaded.message.c_str());
        return kUsageStatus;
    }
    BatchSource source;
    source.volume = &volume;
    if (!RunBatch(source, options, stdout, &error)) {
        fprintf(stderr, "ERROR: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
