// Builders of tetrahedral meshes for the point-location and path line tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "testutil.h"
#include "volume/tetravolume.h"

// A small deterministic generator for test data (independent of the viewer's own).
class TestRandom {
public:
    explicit TestRandom(uint64_t seed) : state(seed * 2862933555777941757ULL + 3037000493ULL) {}
    uint64_t Next() {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return state;
    }
    // Uniform in [lo, hi).
    double Uniform(double lo, double hi) { return lo + (hi - lo) * (Next() >> 11) * 0x1p-53; }
    uint32_t Below(uint32_t n) { return (uint32_t)(Next() % n); }

private:
    uint64_t state;
};

// Sends standard output to a scratch file while it lives, so that tests can measure and read
// what a run of the viewer's code printed.
class StdoutToFile {
public:
    StdoutToFile() : file(tmpfile()) {
        fflush(stdout);
        saved = dup(1);
        dup2(fileno(file), 1);
    }
    ~StdoutToFile() {
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
        fclose(file);
    }
    // Bytes printed so far.
    long Bytes() const { return ftell(stdout); }
    // Everything printed so far.
    std::string Text() const {
        fflush(stdout);
        std::string out(Bytes(), '\0');
        if (pread(fileno(file), &out[0], out.size(), 0) < 0) out.clear();
        return out;
    }

private:
    FILE* file;
    int saved;
};

// Loads volume file bytes through the reader, with its console output swallowed.
inline void LoadBytes(TetrahedralVolume& vol, const std::string& bytes) {
    FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    StdoutToFile quiet;
    vol.ReadStream(f, "volume.kav");
    fclose(f);
}

// A grid of nx x ny x nz cubes of side `cube` from `origin`, each cut into the six
// tetrahedra around its main diagonal, so neighbours share faces. Vertices move by up to
// `jitter` cube sides. The cubes are dealt to bx x by x bz blocks whose boxes are those of
// their unmoved cubes grown by `overlap` cube sides, so neighbouring boxes overlap and moved
// vertices poke out of them. Within a block the tetrahedra are shuffled, which makes "first
// in array order" differ from any spatial order.
struct GridMesh {
    int n[3] = {8, 8, 8};
    double origin[3] = {0, 0, 0};
    double cube = 1;
    double jitter = 0.2;
    int blocks[3] = {2, 2, 2};
    double overlap = 0;
    uint64_t seed = 1;
    // Momentum at a position; zero when unset.
    std::function<void(const double* p, double* m)> momentum;

    VolumeBytes Build() const;
    // Index of the grid vertex (i, j, k).
    uint32_t VertexIndex(int i, int j, int k) const {
        return (uint32_t)((k * (n[1] + 1) + j) * (n[0] + 1) + i);
    }
};

inline VolumeBytes GridMesh::Build() const {
    TestRandom rnd(seed);
    VolumeBytes f;
    for (int k = 0; k <= n[2]; ++k)
        for (int j = 0; j <= n[1]; ++j)
            for (int i = 0; i <= n[0]; ++i) {
                int idx[3] = {i, j, k};
                double p[3], m[3] = {0, 0, 0};
                for (int a = 0; a < 3; ++a) {
                    bool inner = idx[a] > 0 && idx[a] < n[a];
                    double shake = inner ? rnd.Uniform(-jitter, jitter) : 0;
                    p[a] = origin[a] + (idx[a] + shake) * cube;
                }
                if (momentum) momentum(p, m);
                f.vertices.push_back(MakeVertex(p[0], p[1], p[2], 0, 0, m[0], m[1], m[2]));
            }
    f.minimum = f.vertices.front();
    f.maximum = f.vertices.back();

    const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (int bk = 0; bk < blocks[2]; ++bk)
        for (int bj = 0; bj < blocks[1]; ++bj)
            for (int bi = 0; bi < blocks[0]; ++bi) {
                int b[3] = {bi, bj, bk}, lo[3], hi[3];
                VolumeBytes::BlockRec rec;
                for (int a = 0; a < 3; ++a) {
                    lo[a] = n[a] * b[a] / blocks[a];
                    hi[a] = n[a] * (b[a] + 1) / blocks[a];
                    rec.box[2 * a] = origin[a] + (lo[a] - overlap) * cube;
                    rec.box[2 * a + 1] = origin[a] + (hi[a] + overlap) * cube;
                }
                std::vector<std::vector<uint32_t>> tets;
                for (int k = lo[2]; k < hi[2]; ++k)
                    for (int j = lo[1]; j < hi[1]; ++j)
                        for (int i = lo[0]; i < hi[0]; ++i)
                            for (const auto& perm : perms) {
                                int c[3] = {i, j, k};
                                std::vector<uint32_t> t = {VertexIndex(c[0], c[1], c[2])};
                                for (int s = 0; s < 3; ++s) {
                                    ++c[perm[s]];
                                    t.push_back(VertexIndex(c[0], c[1], c[2]));
                                }
                                tets.push_back(t);
                            }
                for (size_t i = tets.size(); i > 1; --i) std::swap(tets[i - 1], tets[rnd.Below(i)]);
                for (const auto& t : tets)
                    rec.indices.insert(rec.indices.end(), t.begin(), t.end());
                f.blocks.push_back(rec);
            }
    return f;
}

// Adds a vertex and returns its index.
inline uint32_t AddVertex(VolumeBytes& f, double x, double y, double z) {
    f.vertices.push_back(MakeVertex(x, y, z));
    return (uint32_t)f.vertices.size() - 1;
}

// Inserts tetrahedron `t` (four vertex indices) at position `pos` of block `b`'s array.
inline void InsertTetra(VolumeBytes& f, size_t b, size_t pos, const std::vector<uint32_t>& t) {
    auto& idx = f.blocks[b].indices;
    idx.insert(idx.begin() + 4 * pos, t.begin(), t.end());
}
