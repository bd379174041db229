#include "testutil.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

Vertex MakeVertex(double x, double y, double z, double density, double energy, double mx, double my,
                  double mz) {
    Vertex v{};
    v.point[0] = x, v.point[1] = y, v.point[2] = z;
    v.Density = density;
    v.Energy = energy;
    v.Momentum[0] = mx, v.Momentum[1] = my, v.Momentum[2] = mz;
    v.MomentumMag = __builtin_sqrt(mx * mx + my * my + mz * mz);
    return v;
}

void Append(std::string& out, const void* data, size_t size) {
    out.append(static_cast<const char*>(data), size);
}

std::string VolumeBytes::Bytes() const {
    std::string out = "SKAV";
    AppendValue(out, minimum);
    AppendValue(out, maximum);
    AppendValue(out, (uint32_t)vertices.size());
    Append(out, vertices.data(), vertices.size() * sizeof(Vertex));
    for (const BlockRec& b : blocks) {
        Append(out, b.box, sizeof b.box);
        AppendValue(out, (uint32_t)(b.indices.size() / 4));
        Append(out, b.indices.data(), b.indices.size() * sizeof(uint32_t));
    }
    return out;
}

std::string SurfaceBytes::Bytes() const {
    std::string out = "SKAV";
    AppendValue(out, minimum);
    AppendValue(out, maximum);
    AppendValue(out, (uint32_t)vertices.size());
    AppendValue(out, (uint32_t)tris.size());
    Append(out, vertices.data(), vertices.size() * sizeof(Vertex));
    for (const Tri& t : tris) {
        Append(out, t.idx, sizeof t.idx);
        Append(out, t.normal, sizeof t.normal);
    }
    return out;
}

std::string MakeTempDir() {
    char pattern[] = "/tmp/velmora-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}
