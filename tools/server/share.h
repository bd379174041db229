// Each process's share of the volume: process 0 walks the block headers and tells every
// process the layout; each then reads its own blocks and the vertices they use.
#pragma once

#include <string>
#include <vector>

#include "tools/server/cluster.h"
#include "volume/tetravolume.h"
#include "volume/volumeshare.h"

struct Share {
    VolumeLayout layout;
    std::vector<size_t> starts;  // process p holds blocks [starts[p], starts[p + 1])
    TetrahedralVolume volume;
    // Process 0: the loader's lines as the viewer prints them for its "volume.kav".
    std::string loadingText;
};

// Loads this process's share of `path`, process 0 printing the loader's lines; collective.
// False on every process when any failed, with process 0's or the first failing process's
// message in `error` on process 0.
bool LoadShare(const Cluster& cluster, const std::string& path, Share* share, std::string* error);
