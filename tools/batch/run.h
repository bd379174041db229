// The work of velmora-batch on a loaded volume: the viewer's own extraction and path line
// code, repeated and timed, with one summary line per repetition.
#pragma once

#include <cstdio>
#include <string>

#include "remote/client.h"
#include "tools/batch/options.h"
#include "volume/tetravolume.h"

// Where the work is done: a volume loaded here, or a server.
struct BatchSource {
    const TetrahedralVolume* volume = nullptr;
    RemoteVolume* remote = nullptr;
};

// Runs the command `options.repeat` times, printing the work's console lines (unless quiet)
// and a summary line per repetition to `out`, and writes the last result to options.out if
// asked. False with the reason in `error` when the server fails or the result cannot be
// written.
bool RunBatch(const BatchSource& source, const BatchOptions& options, FILE* out,
              std::string* error);
