// The command line of citygen.
#pragma once

#include <string>

#include "tools/citygen/grid.h"

namespace citygen {

constexpr const char* kUsage =
    "usage: citygen OUTDIR [--small|--large] [--threads N]\n"
    "  writes the demo city (volume.kav, surface-1.kav .. surface-4.kav) into OUTDIR:\n"
    "  about 1 million tetrahedra, --small a few thousand, --large about 8 million.\n"
    "  --threads N  use N threads (default: all cores); the files are the same for any N";

struct Options {
    std::string outdir;
    Index cells{72, 36, 72};
    int threads = 0;  // 0: all cores
    bool help = false;
};

// Reads the arguments; false with `error` set when they make no sense.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

}  // namespace citygen
