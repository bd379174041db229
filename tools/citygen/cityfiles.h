// The five data files of the demo city: the volume and the walls, ceiling, buildings and
// floor surfaces, all carrying the flow values of the same grid nodes.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/citygen/grid.h"
#include "tools/citygen/kavwriter.h"

namespace citygen {

struct CityCounts {
    size_t vertices = 0, tetras = 0, blocks = 0;
    std::array<size_t, 4> triangles{};  // per surface, in file order
};

// Writes volume.kav and surface-1.kav .. surface-4.kav into `dir` from one record per grid
// node. Every header carries the field ranges of the whole volume, so that one colour means
// one value on every surface; its points are the file's own bounding box (the domain box for
// the volume). False with `error` set when a file cannot be written.
bool WriteCity(const std::string& dir, const Grid& g, const std::vector<Record>& records,
               CityCounts* counts, std::string* error);

}  // namespace citygen
