// A catalogue of malformed and odd data files, shared by the bad-input tests: files that the
// readers must refuse, and files that load but carry values no simulation would write.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "testutil.h"

namespace badfiles {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const uint32_t kHuge = 0xFFFFFFFFu;

struct BadFile {
    std::string name;
    std::string bytes;
    // For a refused file: a piece of the "ERROR:" line it must produce.
    std::string message;
};

// Byte offsets of the records of a volume file, from the counts in the builder.
const size_t kVertexCountAt = 148;
const size_t kVerticesAt = 152;
const size_t kBlockHeaderBytes = 52;

inline size_t BlockAt(const VolumeBytes& f, size_t block) {
    size_t at = kVerticesAt + f.vertices.size() * sizeof(Vertex);
    for (size_t b = 0; b < block; ++b) at += kBlockHeaderBytes + 4 * f.blocks[b].indices.size();
    return at;
}

inline void Put32(std::string& bytes, size_t at, uint32_t value) {
    memcpy(&bytes[at], &value, sizeof value);
}

// A well-formed volume: two tetrahedra sharing a face in one block, and an empty block far
// away. Density is x + y + z; the momentum drifts every path line out of the mesh.
inline VolumeBytes ReferenceVolume() {
    VolumeBytes f;
    f.minimum = MakeVertex(0, 0, 0, 0, 0, 0, 0, 0);
    f.maximum = MakeVertex(1, 1, 1, 3, 6, 0.1, 0.1, 0.1);
    const double corner[5][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    for (const double* c : corner) {
        double d = c[0] + c[1] + c[2];
        f.vertices.push_back(MakeVertex(c[0], c[1], c[2], d, 2 * d, 0.1, 0.1, 0.1));
    }
    f.blocks.push_back({{-0.1, 1.1, -0.1, 1.1, -0.1, 1.1}, {0, 1, 2, 3, 1, 2, 3, 4}});
    f.blocks.push_back({{5, 6, 5, 6, 5, 6}, {}});
    return f;
}

// The offsets at which a cut-off copy of ReferenceVolume is still a whole file: after the
// vertex array and after each block record.
inline std::vector<size_t> VolumeRecordEnds() {
    VolumeBytes f = ReferenceVolume();
    std::vector<size_t> ends;
    for (size_t b = 0; b <= f.blocks.size(); ++b) ends.push_back(BlockAt(f, b));
    return ends;
}

// Volume files that must be refused, each a small edit of ReferenceVolume. Every cut-off copy
// is one too, except at the record ends.
inline std::vector<BadFile> RefusedVolumes() {
    VolumeBytes f = ReferenceVolume();
    const std::string good = f.Bytes();
    const size_t block0 = BlockAt(f, 0), block1 = BlockAt(f, 1);
    std::vector<BadFile> out;
    auto edit = [&](const char* name, size_t at, uint32_t value, const char* message) {
        std::string bytes = good;
        Put32(bytes, at, value);
        out.push_back({name, bytes, message});
    };
    edit("vertex count 0xFFFFFFFF", kVertexCountAt, kHuge, "4294967295 vertices need");
    edit("vertex count 0x7FFFFFFF", kVertexCountAt, 0x7FFFFFFF, "2147483647 vertices need");
    edit("vertex count past the file", kVertexCountAt, 7, "7 vertices need 504 bytes");
    edit("tetrahedron count 0xFFFFFFFF", block0 + 48, kHuge, "runs past the end");
    edit("tetrahedron count into the next block", block0 + 48, 4,
         "tetrahedron 2 of a block refers");
    edit("empty last block claiming a tetrahedron", block1 + 48, 1, "runs past the end");
    edit("index equal to the vertex count", block0 + 52 + 16 + 12, 5, "refers to a vertex");
    edit("index 0xFFFFFFFF", block0 + 52, kHuge, "refers to a vertex");
    return out;
}

// Volume files that load although no simulation would write them.
inline std::vector<BadFile> OddVolumes() {
    std::vector<BadFile> out;
    auto add = [&](const char* name, const VolumeBytes& f) {
        out.push_back({name, f.Bytes(), ""});
    };
    VolumeBytes f = ReferenceVolume();
    for (Vertex& v : f.vertices) v.Density = v.Energy = v.MomentumMag = v.Momentum[0] = kNaN;
    add("NaN values", f);
    f = ReferenceVolume();
    for (Vertex& v : f.vertices) v.Density = v.Energy = v.MomentumMag = v.Momentum[1] = kInf;
    f.vertices[0].Density = -kInf;
    add("infinite values", f);
    f = ReferenceVolume();
    f.vertices[4].point[1] = kNaN;
    add("a NaN coordinate", f);
    f = ReferenceVolume();
    f.vertices[4].point[0] = kInf;
    add("an infinite coordinate", f);
    f = ReferenceVolume();
    for (Vertex& v : f.vertices) v.point[0] = v.point[1] = v.point[2] = kNaN;
    add("all coordinates NaN", f);
    f = ReferenceVolume();
    f.vertices[4] = MakeVertex(1e308, -1e308, 1e308, 1, 1, 0.1, 0.1, 0.1);
    add("coordinates at the double limit", f);
    f = ReferenceVolume();
    for (Vertex& v : f.vertices) {
        for (double& c : v.point) c *= 1e300;
    }
    f.blocks[0].box[1] = f.blocks[0].box[3] = f.blocks[0].box[5] = 1.1e300;
    add("huge coordinates", f);
    f = ReferenceVolume();
    f.vertices.push_back(MakeVertex(1e6, 1e6, 0, 1, 1, 0.1, 0.1, 0.1));
    f.vertices.push_back(MakeVertex(1e6 + 1e-3, 1e6, 0, 1, 1, 0.1, 0.1, 0.1));
    f.vertices.push_back(MakeVertex(1e6, 1e6 + 1e-3, 0, 1, 1, 0.1, 0.1, 0.1));
    f.vertices.push_back(MakeVertex(1e6, 1e6, 1e-3, 1, 1, 0.1, 0.1, 0.1));
    f.blocks[0].indices.insert(f.blocks[0].indices.end(), {5, 6, 7, 8});
    f.blocks[0].box[1] = f.blocks[0].box[3] = 2e6;
    add("tiny tetrahedra far apart", f);
    f = ReferenceVolume();
    f.blocks[0].indices = {0, 1, 2, 2, 0, 0, 0, 0};
    add("degenerate tetrahedra", f);
    f = ReferenceVolume();
    f.blocks[0].box[0] = 2, f.blocks[0].box[1] = -2;
    add("an inverted box", f);
    f = ReferenceVolume();
    for (double& c : f.blocks[0].box) c = kNaN;
    add("a NaN box", f);
    f = ReferenceVolume();
    f.blocks = {{{0, 1e-312, 0, 1e-312, 0, 1e-312}, {0, 1, 2, 3}}};
    add("a box of subnormal size", f);
    f.blocks = {{{5, 5 + 1e-15, 5, 5 + 1e-15, 5, 5 + 1e-15}, {0, 1, 2, 3}}};
    add("a box one rounding step wide", f);
    f.blocks = {{{-1e308, 1e308, -1e308, 1e308, -1e308, 1e308}, {0, 1, 2, 3}},
                {{0, 1, 0, 1, 0, 1}, {1, 2, 3, 4}}};
    add("a box wider than the largest double", f);
    f = ReferenceVolume();
    for (Vertex& v : f.vertices) v.Momentum[0] = v.Momentum[1] = v.Momentum[2] = 0;
    add("zero momentum", f);
    f = ReferenceVolume();
    f.blocks[0].indices.clear();
    add("only empty blocks", f);
    f = ReferenceVolume();
    f.blocks.clear();
    add("no blocks", f);
    f.vertices.clear();
    add("no vertices", f);
    return out;
}

// A well-formed surface: two triangles over four points, colour ranges from the header.
inline SurfaceBytes ReferenceSurface() {
    SurfaceBytes s;
    s.minimum = MakeVertex(0, 0, 0, 0, 0);
    s.maximum = MakeVertex(1, 1, 0, 1, 2, 1, 1, 1);
    s.vertices = {MakeVertex(0, 0, 0, 0, 0), MakeVertex(1, 0, 0, 0.5, 1),
                  MakeVertex(0, 1, 0, 0.5, 1), MakeVertex(1, 1, 0, 1, 2)};
    s.tris = {{{0, 1, 2}, {0, 0, 1}}, {{1, 3, 2}, {0, 0, 1}}};
    return s;
}

// Offsets in a surface file: the two counts and the first triangle record.
const size_t kPointCountAt = 148;
const size_t kTriangleCountAt = 152;
inline size_t TriangleAt(const SurfaceBytes& s, size_t t) {
    return 156 + s.vertices.size() * sizeof(Vertex) + 36 * t;
}

// Surface files that must be refused; so is every cut-off copy of ReferenceSurface.
inline std::vector<BadFile> RefusedSurfaces() {
    SurfaceBytes s = ReferenceSurface();
    const std::string good = s.Bytes();
    std::vector<BadFile> out;
    auto edit = [&](const char* name, size_t at, uint32_t value, const char* message) {
        std::string bytes = good;
        Put32(bytes, at, value);
        out.push_back({name, bytes, message});
    };
    edit("point count 0xFFFFFFFF", kPointCountAt, kHuge, "4294967295 points and 2 triangles need");
    edit("triangle count 0xFFFFFFFF", kTriangleCountAt, kHuge, "4 points and 4294967295");
    edit("point count one too many", kPointCountAt, 5, "5 points and 2 triangles need");
    edit("triangle count one too many", kTriangleCountAt, 3, "4 points and 3 triangles need");
    edit("index equal to the point count", TriangleAt(s, 1) + 4, 4, "triangle 1 refers");
    edit("index 0xFFFFFFFF", TriangleAt(s, 0), kHuge, "triangle 0 refers");
    std::string both = good;
    Put32(both, kPointCountAt, kHuge);
    Put32(both, kTriangleCountAt, kHuge);
    out.push_back({"both counts 0xFFFFFFFF", both, "need 463856467860 bytes"});
    return out;
}

// Surface files that load although no simulation would write them.
inline std::vector<BadFile> OddSurfaces() {
    std::vector<BadFile> out;
    auto add = [&](const char* name, const SurfaceBytes& s) {
        out.push_back({name, s.Bytes(), ""});
    };
    SurfaceBytes s = ReferenceSurface();
    for (Vertex& v : s.vertices) v.Density = v.Energy = v.MomentumMag = kNaN;
    for (auto& t : s.tris) t.normal[0] = t.normal[1] = t.normal[2] = kNaN;
    add("NaN values and normals", s);
    s = ReferenceSurface();
    for (Vertex& v : s.vertices) v.Energy = kInf, v.point[2] = -kInf;
    s.maximum.Energy = kInf;
    add("infinite values", s);
    s = ReferenceSurface();
    s.maximum.Density = s.minimum.Density;
    s.maximum.Energy = s.minimum.Energy = kNaN;
    add("empty and NaN colour ranges", s);
    s = ReferenceSurface();
    s.tris.clear();
    add("points but no triangles", s);
    s.vertices.clear();
    add("no points and no triangles", s);
    return out;
}

}  // namespace badfiles
