#include "testutil.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "volume/kavformat.h"

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

namespace {

// The bytes that `write` puts through a KavWriter.
template <typename Write>
std::string Written(Write write) {
    char* data = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&data, &size);
    if (!f) throw std::runtime_error("open_memstream failed");
    KavWriter out(f);
    write(out);
    fclose(f);
    std::string bytes(data, size);
    free(data);
    if (!out.Ok()) throw std::runtime_error("writing to memory failed");
    return bytes;
}

}  // namespace

std::string VolumeBytes::Bytes() const {
    return Written([this](KavWriter& out) {
        out.PutVolumeHeader(minimum, maximum, (uint32_t)vertices.size());
        out.PutVertices(vertices.data(), vertices.size());
        for (const BlockRec& b : blocks) {
            if (b.indices.size() % 4 != 0) throw std::runtime_error("indices come in fours");
            const double min[3] = {b.box[0], b.box[2], b.box[4]};
            const double max[3] = {b.box[1], b.box[3], b.box[5]};
            out.PutBlockHeader(min, max, (uint32_t)(b.indices.size() / 4));
            for (size_t i = 0; i < b.indices.size(); i += 4) out.PutTetra(&b.indices[i]);
        }
    });
}

std::string SurfaceBytes::Bytes() const {
    return Written([this](KavWriter& out) {
        out.PutSurfaceHeader(minimum, maximum, (uint32_t)vertices.size(), (uint32_t)tris.size());
        out.PutVertices(vertices.data(), vertices.size());
        for (const Tri& t : tris) out.PutTriangle(t.idx, t.normal);
    });
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
