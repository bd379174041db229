// The command line of velmora-batch:
//   velmora-batch [--threads N] [--repeat N] [--quiet] DATADIR COMMAND [ARGS] [--out FILE.vtp]
//   velmora-batch --connect HOST:PORT [--token-file FILE] [...] COMMAND [ARGS] [--out FILE.vtp]
//     iso FIELD VALUE                FIELD: density | energy | momentum
//     pathlines X Y Z RADIUS COUNT   seeds as the path line panel's "Generate" draws them
#pragma once

#include <string>

#include "volume/tetravolume.h"

struct BatchOptions {
    enum class Command { kIso, kPathLines };

    int threads = 0;  // 0: VELMORA_THREADS, else every core
    int repeat = 1;
    bool quiet = false;
    std::string dataDir;    // empty with --connect
    std::string connect;    // HOST:PORT of a velmora-server, or empty
    std::string tokenFile;  // with --connect: the server's token, or empty
    Command command = Command::kIso;
    FieldVar field = fieldDensity;  // iso
    double value = 0;
    double source[3] = {0, 0, 0};  // pathlines
    double radius = 0;
    int count = 0;
    std::string out;  // empty: no file
};

// The usage text, ending in a newline.
const char* BatchUsage();
// Reads the command line; false with the reason in `error` when it is not understood.
bool ParseBatchOptions(int argc, const char* const* argv, BatchOptions* options,
                       std::string* error);
// "density", "energy" or "momentum".
const char* FieldName(FieldVar field);
