#include "tools/citygen/cityfiles.h"

#include <algorithm>

#include "tools/citygen/mesh.h"

namespace citygen {
namespace {

// Member-wise minimum and maximum of the records of the given nodes.
Bounds Extremes(const std::vector<Record>& records, const std::vector<uint32_t>& nodes) {
    Bounds b{records[nodes.front()], records[nodes.front()]};
    for (uint32_t id : nodes) {
        for (size_t f = 0; f < b.minimum.size(); ++f) {
            b.minimum[f] = std::min(b.minimum[f], records[id][f]);
            b.maximum[f] = std::max(b.maximum[f], records[id][f]);
        }
    }
    return b;
}

std::vector<Record> Select(const std::vector<Record>& records, const Numbering& num) {
    std::vector<Record> out;
    out.reserve(num.nodes.size());
    for (uint32_t id : num.nodes) out.push_back(records[id]);
    return out;
}

bool WriteVolume(const std::string& path, const Grid& g, const std::vector<Record>& records,
                 const Numbering& num, const Bounds& bounds, CityCounts* counts,
                 std::string* error) {
    VolumeWriter out;
    bool ok = out.Open(path, bounds, Select(records, num));
    std::vector<std::array<uint32_t, 4>> tetras;
    ForEachBlock(g, [&](const Block& b) {
        if (!ok) return;
        std::array<double, 6> box;
        for (int a = 0; a < 3; ++a) {
            box[2 * a] = g.Coord(a, b.lo[a]);
            box[2 * a + 1] = g.Coord(a, b.hi[a]);
        }
        tetras.clear();
        for (const Tetra& t : b.tetras) {
            tetras.push_back({num.local[t[0]], num.local[t[1]], num.local[t[2]], num.local[t[3]]});
        }
        ok = out.AddBlock(box, tetras);
        counts->tetras += tetras.size();
        ++counts->blocks;
    });
    ok = ok && out.Close();
    if (!ok) *error = out.Error();
    counts->vertices = num.nodes.size();
    return ok;
}

// Writes one surface; its header takes the volume's field ranges and its own box.
bool WriteOneSurface(const std::string& path, const Grid& g, const std::vector<Record>& records,
                     const std::vector<Quad>& quads, const Bounds& volume, size_t* triangles,
                     std::string* error) {
    std::vector<uint8_t> used(g.Nodes(), 0);
    for (const Quad& q : quads) {
        for (size_t id : q.node) used[id] = 1;
    }
    const Numbering num = NumberNodes(used);
    std::vector<std::array<uint32_t, 3>> tris;
    std::vector<std::array<double, 3>> normals;
    for (const Quad& q : quads) {
        std::array<double, 3> normal{0.0, 0.0, 0.0};
        normal[q.axis] = q.sign;
        for (const auto& corners : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
            tris.push_back({num.local[q.node[corners[0]]], num.local[q.node[corners[1]]],
                            num.local[q.node[corners[2]]]});
            normals.push_back(normal);
        }
    }
    Bounds bounds = volume;
    if (!num.nodes.empty()) {
        const Bounds own = Extremes(records, num.nodes);
        for (int a = 0; a < 3; ++a) {
            bounds.minimum[kX + a] = own.minimum[kX + a];
            bounds.maximum[kX + a] = own.maximum[kX + a];
        }
    }
    *triangles = tris.size();
    return WriteSurface(path, bounds, Select(records, num), tris, normals, error);
}

}  // namespace

bool WriteCity(const std::string& dir, const Grid& g, const std::vector<Record>& records,
               CityCounts* counts, std::string* error) {
    const Numbering num = VolumeNumbering(g);
    Bounds volume = Extremes(records, num.nodes);
    for (int a = 0; a < 3; ++a) {
        volume.minimum[kX + a] = kLo[a];
        volume.maximum[kX + a] = kHi[a];
    }
    if (!WriteVolume(dir + "/volume.kav", g, records, num, volume, counts, error)) return false;
    for (SurfaceRole role : {kWalls, kCeiling, kBuildings, kFloor}) {
        const std::string path = dir + "/surface-" + std::to_string(role + 1) + ".kav";
        if (!WriteOneSurface(path, g, records, SurfaceQuads(g, role), volume,
                             &counts->triangles[role], error)) {
            return false;
        }
    }
    return true;
}

}  // namespace citygen
