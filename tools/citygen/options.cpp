#include "tools/citygen/options.h"

#include <cstdlib>

namespace citygen {

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
    bool sized = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o->help = true;
        } else if (arg == "--small" || arg == "--large") {
            if (sized) return *error = "more than one size given", false;
            sized = true;
            o->cells = arg == "--small" ? Index{16, 8, 16} : Index{144, 72, 144};
        } else if (arg == "--threads") {
            char* end = nullptr;
            const long n = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || *end != '\0' || n < 1 || n > 1024) {
                return *error = "--threads needs a count from 1 to 1024", false;
            }
            o->threads = int(n);
            ++i;
        } else if (arg.empty() || arg[0] == '-') {
            return *error = "unknown option '" + arg + "'", false;
        } else if (!o->outdir.empty()) {
            return *error = "more than one output directory given", false;
        } else {
            o->outdir = arg;
        }
    }
    if (o->outdir.empty() && !o->help) return *error = "no output directory given", false;
    return true;
}

}  // namespace citygen
