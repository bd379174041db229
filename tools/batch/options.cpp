#include "tools/batch/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/argparse.h"

namespace {

const int kMaxCount = 10000000;  // path lines per request
const int kMaxRepeat = 1000000;
const int kMaxThreads = 4096;

bool ParseNumber(const char* text, double* value) {
    errno = 0;
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(*value);
}

bool ParseField(const char* text, FieldVar* field) {
    for (FieldVar f : {fieldDensity, fieldEnergy, fieldMomentum}) {
        if (std::strcmp(text, FieldName(f)) == 0) {
            *field = f;
            return true;
        }
    }
    return false;
}

bool ParseWork(const std::vector<const char*>& words, BatchOptions* o, std::string* error);

// The command and its arguments, after the data folder.
bool ParseCommand(const std::vector<const char*>& words, BatchOptions* o, std::string* error) {
    // With --connect the server has the data: the words start with the command.
    std::vector<const char*> all = words;
    if (!o->connect.empty()) all.insert(all.begin(), "");
    if (all.size() < 2)
        return Fail(error, o->connect.empty() ? "missing DATADIR or COMMAND" : "missing COMMAND");
    return ParseWork(all, o, error);
}

bool ParseWork(const std::vector<const char*>& words, BatchOptions* o, std::string* error) {
    o->dataDir = words[0];
    const std::string command = words[1];
    const size_t args = words.size() - 2;
    if (command == "iso") {
        o->command = BatchOptions::Command::kIso;
        if (args != 2) return Fail(error, "iso takes FIELD VALUE");
        if (!ParseField(words[2], &o->field))
            return Fail(error, std::string("unknown field \"") + words[2] +
                                   "\" (density, energy or momentum)");
        if (!ParseNumber(words[3], &o->value))
            return Fail(error, std::string("bad number \"") + words[3] + "\" for VALUE");
        return true;
    }
    if (command == "pathlines") {
        o->command = BatchOptions::Command::kPathLines;
        if (args != 5) return Fail(error, "pathlines takes X Y Z RADIUS COUNT");
        const char* names[4] = {"X", "Y", "Z", "RADIUS"};
        double* targets[4] = {&o->source[0], &o->source[1], &o->source[2], &o->radius};
        for (int i = 0; i < 4; ++i) {
            if (!ParseNumber(words[2 + i], targets[i]))
                return Fail(error,
                            std::string("bad number \"") + words[2 + i] + "\" for " + names[i]);
        }
        if (!ParseInt(words[6], 0, kMaxCount, &o->count))
            return Fail(error,
                        std::string("bad number \"") + words[6] + "\" for COUNT (0 to 10000000)");
        return true;
    }
    return Fail(error, "unknown command \"" + command + "\" (iso or pathlines)");
}

}  // namespace

const char* BatchUsage() {
    return "usage: velmora-batch [--threads N] [--repeat N] [--quiet] DATADIR COMMAND [ARGS]\n"
           "                     [--out FILE.vtp]\n"
           "       velmora-batch --connect HOST:PORT [--token-file FILE] [OPTIONS] COMMAND\n"
           "                     [ARGS] [--out FILE.vtp]\n"
           "  iso FIELD VALUE                the isosurface of FIELD (density, energy or\n"
           "                                 momentum) at VALUE\n"
           "  pathlines X Y Z RADIUS COUNT   COUNT path lines seeded within RADIUS of (X, Y, Z)\n"
           "                                 as the path line panel seeds them\n"
           "Loads DATADIR/volume.kav, prints the work's console lines (unless --quiet) and one\n"
           "summary line per repetition; --out writes the last result as VTK PolyData.\n"
           "--threads N runs the work on N threads (default: VELMORA_THREADS, else every core);\n"
           "the results are the same for every N.\n"
           "--connect has the work done by the velmora-server listening at HOST:PORT, with the\n"
           "token in FILE when the server asks for one; the output is the same.\n";
}

const char* FieldName(FieldVar field) {
    switch (field) {
        case fieldDensity:
            return "density";
        case fieldEnergy:
            return "energy";
        case fieldMomentum:
            return "momentum";
    }
    return "?";
}

bool ParseBatchOptions(int argc, const char* const* argv, BatchOptions* o, std::string* error) {
    std::vector<const char*> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--quiet") {
            o->quiet = true;
        } else if (arg == "--threads") {
            if (!hasValue || !ParseInt(argv[++i], 1, kMaxThreads, &o->threads))
                return Fail(error, "--threads takes a number from 1 to 4096");
        } else if (arg == "--repeat") {
            if (!hasValue || !ParseInt(argv[++i], 1, kMaxRepeat, &o->repeat))
                return Fail(error, "--repeat takes a number from 1 to 1000000");
        } else if (arg == "--connect") {
            if (!hasValue || argv[i + 1][0] == '\0')
                return Fail(error, "--connect takes HOST:PORT");
            o->connect = argv[++i];
        } else if (arg == "--token-file") {
            if (!hasValue || argv[i + 1][0] == '\0')
                return Fail(error, "--token-file takes a file name");
            o->tokenFile = argv[++i];
        } else if (arg == "--out") {
            if (!hasValue || argv[i + 1][0] == '\0') return Fail(error, "--out takes a file name");
            o->out = argv[++i];
        } else if (double number;
                   arg.size() > 1 && arg[0] == '-' && !ParseNumber(arg.c_str(), &number)) {
            return Fail(error, "unknown option \"" + arg + "\"");
        } else {
            words.push_back(argv[i]);
        }
    }
    if (!o->tokenFile.empty() && o->connect.empty())
        return Fail(error, "--token-file goes with --connect");
    return ParseCommand(words, o, error);
}
