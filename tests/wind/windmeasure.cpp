#include "windmeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <unordered_map>

namespace windmeasure {
namespace {

using Vec3 = std::array<double, 3>;

// Sequential little-endian reads from a whole file held in memory.
class Bytes {
public:
    bool Load(const std::string& path, std::string* error) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) return Fail(error, "cannot open " + path);
        char chunk[1 << 16];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
            data.append(chunk, got);
        }
        std::fclose(file);
        name = path;
        return true;
    }
    bool Take(void* out, size_t size, std::string* error) {
        if (data.size() - at < size) return Fail(error, name + " ends early");
        std::memcpy(out, data.data() + at, size);
        at += size;
        return true;
    }
    bool Magic(std::string* error) {
        char magic[4];
        if (!Take(magic, 4, error)) return false;
        return std::memcmp(magic, "SKAV", 4) == 0 || Fail(error, name + " is not a SKAV file");
    }
    // A count of records of `size` bytes each that the rest of the file can hold.
    bool Count(uint32_t* count, size_t size, std::string* error) {
        if (!Take(count, 4, error)) return false;
        return uint64_t(*count) * size <= data.size() - at || Fail(error, name + ": bad count");
    }
    bool AtEnd() const { return at == data.size(); }
    static bool Fail(std::string* error, const std::string& message) {
        *error = message;
        return false;
    }

private:
    std::string data, name;
    size_t at = 0;
};

bool TakeRecord(Bytes& in, Record* r, std::string* error) {
    double v[9];
    if (!in.Take(v, sizeof v, error)) return false;
    *r = Record{{v[0], v[1], v[2]}, v[3], v[4], {v[5], v[6], v[7]}, v[8]};
    return true;
}

bool TakeRecords(Bytes& in, uint32_t count, std::vector<Record>* out, std::string* error) {
    out->resize(count);
    for (Record& r : *out) {
        if (!TakeRecord(in, &r, error)) return false;
    }
    return true;
}

Vec3 Sub(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double Det(const Vec3& a, const Vec3& b, const Vec3& c) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
}

// A point of a plane's cut through a tetrahedron, with the momentum along the wind there.
struct CutPoint {
    double u, v;  // coordinates on the two axes in the plane
    double flow;
};

// Area times mean flow of the triangle a, b, c: the exact integral of a linear field.
double TriangleFlow(const CutPoint& a, const CutPoint& b, const CutPoint& c) {
    const double area = 0.5 * std::fabs((b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u));
    return area * (a.flow + b.flow + c.flow) / 3.0;
}

// Flow through the plane x[axis] = position inside one tetrahedron. A corner counts as
// below when strictly below the plane, so a face lying in the plane is counted once, by
// the tetrahedron below it.
double CutFlow(const Volume& vol, const std::array<uint32_t, 4>& tet, const MeanWind& wind,
               double position) {
    const int u = (wind.axis + 1) % 3, v = (wind.axis + 2) % 3;
    int below[4], above[4], nb = 0, na = 0;
    for (int k = 0; k < 4; ++k) {
        if (vol.vertices[tet[k]].point[wind.axis] < position) {
            below[nb++] = k;
        } else {
            above[na++] = k;
        }
    }
    if (nb == 0 || na == 0) return 0.0;
    auto cross = [&](int b, int a) {
        const Record& rb = vol.vertices[tet[b]];
        const Record& ra = vol.vertices[tet[a]];
        const double sb = rb.point[wind.axis] - position, sa = ra.point[wind.axis] - position;
        const double t = sb / (sb - sa);
        const double mb = wind.sign * rb.momentum[wind.axis];
        const double ma = wind.sign * ra.momentum[wind.axis];
        return CutPoint{rb.point[u] + t * (ra.point[u] - rb.point[u]),
                        rb.point[v] + t * (ra.point[v] - rb.point[v]), mb + t * (ma - mb)};
    };
    if (nb == 1) {
        return TriangleFlow(cross(below[0], above[0]), cross(below[0], above[1]),
                            cross(below[0], above[2]));
    }
    if (na == 1) {
        return TriangleFlow(cross(below[0], above[0]), cross(below[1], above[0]),
                            cross(below[2], above[0]));
    }
    const CutPoint q[4] = {cross(below[0], above[0]), cross(below[0], above[1]),
                           cross(below[1], above[1]), cross(below[1], above[0])};
    return TriangleFlow(q[0], q[1], q[2]) + TriangleFlow(q[0], q[2], q[3]);
}

// Hash of a position by the bits of its coordinates: surfaces and volume share vertices
// by exact position.
struct PointHash {
    size_t operator()(const Vec3& p) const {
        uint64_t h = 1469598103934665603ULL;
        for (double c : p) {
            uint64_t bits;
            std::memcpy(&bits, &c, sizeof bits);
            h = (h ^ bits) * 1099511628211ULL;
        }
        return size_t(h);
    }
};

size_t Find(std::vector<size_t>& parent, size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

}  // namespace

bool ReadVolume(const std::string& path, Volume* vol, std::string* error) {
    Bytes in;
    uint32_t count = 0;
    if (!in.Load(path, error) || !in.Magic(error) || !TakeRecord(in, &vol->minimum, error) ||
        !TakeRecord(in, &vol->maximum, error) || !in.Count(&count, 72, error) ||
        !TakeRecords(in, count, &vol->vertices, error)) {
        return false;
    }
    vol->tetras.clear();
    while (!in.AtEnd()) {
        double box[6];
        uint32_t tets = 0;
        if (!in.Take(box, sizeof box, error) || !in.Count(&tets, 16, error)) return false;
        for (uint32_t t = 0; t < tets; ++t) {
            std::array<uint32_t, 4> ids;
            if (!in.Take(ids.data(), 16, error)) return false;
            for (uint32_t id : ids) {
                if (id >= count) return Bytes::Fail(error, path + ": vertex index out of range");
            }
            vol->tetras.push_back(ids);
        }
    }
    return true;
}

bool ReadSurface(const std::string& path, Surface* s, std::string* error) {
    Bytes in;
    uint32_t points = 0, tris = 0;
    if (!in.Load(path, error) || !in.Magic(error) || !TakeRecord(in, &s->minimum, error) ||
        !TakeRecord(in, &s->maximum, error) || !in.Count(&points, 72, error) ||
        !in.Count(&tris, 36, error) || !TakeRecords(in, points, &s->vertices, error)) {
        return false;
    }
    s->triangles.resize(tris);
    s->normals.resize(tris);
    for (uint32_t t = 0; t < tris; ++t) {
        if (!in.Take(s->triangles[t].data(), 12, error) ||
            !in.Take(s->normals[t].data(), 24, error)) {
            return false;
        }
        for (uint32_t id : s->triangles[t]) {
            if (id >= points) return Bytes::Fail(error, path + ": vertex index out of range");
        }
    }
    return true;
}

MeanWind MeasureMeanWind(const Volume& vol) {
    Vec3 sum{0, 0, 0};
    double total = 0.0;
    for (const auto& tet : vol.tetras) {
        const Vec3& p0 = vol.vertices[tet[0]].point;
        const double volume =
            std::fabs(Det(Sub(vol.vertices[tet[1]].point, p0), Sub(vol.vertices[tet[2]].point, p0),
                          Sub(vol.vertices[tet[3]].point, p0))) /
            6.0;
        for (int a = 0; a < 3; ++a) {
            double m = 0.0;
            for (uint32_t id : tet) m += vol.vertices[id].momentum[a];
            sum[a] += volume * m / 4.0;
        }
        total += volume;
    }
    MeanWind wind{{0, 0, 0}, 0, 1};
    for (int a = 0; a < 3; ++a) {
        wind.momentum[a] = total > 0 ? sum[a] / total : 0.0;
        if (std::fabs(wind.momentum[a]) > std::fabs(wind.momentum[wind.axis])) wind.axis = a;
    }
    wind.sign = wind.momentum[wind.axis] < 0 ? -1 : 1;
    return wind;
}

MassFlow MeasureMassFlow(const Volume& vol, const MeanWind& wind, int planes) {
    MassFlow m;
    const double lo = vol.minimum.point[wind.axis], hi = vol.maximum.point[wind.axis];
    const double step = (hi - lo) / (planes + 1);
    for (int p = 1; p <= planes; ++p) m.positions.push_back(lo + p * step);
    m.flows.assign(planes, 0.0);
    for (const auto& tet : vol.tetras) {
        double a = vol.vertices[tet[0]].point[wind.axis], b = a;
        for (uint32_t id : tet) {
            a = std::min(a, vol.vertices[id].point[wind.axis]);
            b = std::max(b, vol.vertices[id].point[wind.axis]);
        }
        const int first = std::max(0, int(std::floor((a - lo) / step)) - 1);
        const int last = std::min(planes - 1, int(std::ceil((b - lo) / step)));
        for (int p = first; p <= last; ++p) m.flows[p] += CutFlow(vol, tet, wind, m.positions[p]);
    }
    m.mean = std::accumulate(m.flows.begin(), m.flows.end(), 0.0) / planes;
    for (double f : m.flows) {
        m.worstDeviation = std::max(m.worstDeviation, std::fabs(f - m.mean) / m.mean);
    }
    return m;
}

std::vector<Box> FindBuildings(const Surface& s) {
    std::vector<size_t> parent(s.vertices.size());
    std::iota(parent.begin(), parent.end(), size_t(0));
    std::unordered_map<Vec3, size_t, PointHash> first;  // vertices in one place are one
    for (size_t i = 0; i < s.vertices.size(); ++i) {
        auto [it, fresh] = first.emplace(s.vertices[i].point, i);
        if (!fresh) parent[Find(parent, i)] = Find(parent, it->second);
    }
    for (const auto& tri : s.triangles) {
        parent[Find(parent, tri[1])] = Find(parent, tri[0]);
        parent[Find(parent, tri[2])] = Find(parent, tri[0]);
    }
    std::vector<Box> boxes;
    std::unordered_map<size_t, size_t> boxOf;  // root vertex -> building
    for (const auto& tri : s.triangles) {
        for (uint32_t id : tri) {
            const Vec3& p = s.vertices[id].point;
            auto [it, fresh] = boxOf.emplace(Find(parent, id), boxes.size());
            if (fresh) boxes.push_back(Box{p, p});
            Box& b = boxes[it->second];
            for (int a = 0; a < 3; ++a) {
                b.lo[a] = std::min(b.lo[a], p[a]);
                b.hi[a] = std::max(b.hi[a], p[a]);
            }
        }
    }
    return boxes;
}

Wakes MeasureWakes(const Volume& vol, const Surface& buildings, const MeanWind& wind) {
    Wakes w;
    w.buildings = FindBuildings(buildings);
    w.zoneVertices.assign(w.buildings.size(), 0);
    w.reversedVertices.assign(w.buildings.size(), 0);
    const int a = wind.axis, across = 2 - wind.axis;  // the two horizontal axes, y is up
    const double floor = vol.minimum.point[1];
    auto against = [&](const Record& r) {
        return r.momentum[0] * wind.momentum[0] + r.momentum[1] * wind.momentum[1] +
                   r.momentum[2] * wind.momentum[2] <
               0.0;
    };
    for (const Record& r : vol.vertices) w.reversedEverywhere += against(r);
    if (a == 1) return w;
    for (size_t b = 0; b < w.buildings.size(); ++b) {
        const Box& box = w.buildings[b];
        const double lee = wind.sign > 0 ? box.hi[a] : box.lo[a];
        const double height = box.hi[1] - floor;
        for (const Record& r : vol.vertices) {
            const double behind = wind.sign * (r.point[a] - lee);
            if (behind <= 0 || behind > height || r.point[1] >= box.hi[1] ||
                r.point[across] < box.lo[across] || r.point[across] > box.hi[across]) {
                continue;
            }
            ++w.zoneVertices[b];
            w.reversedVertices[b] += against(r);
        }
        if (w.reversedVertices[b] > 0) ++w.withRecirculation;
    }
    return w;
}

Walls MeasureWalls(const Volume& vol, const std::vector<const Surface*>& surfaces,
                   double tolerance) {
    std::unordered_map<Vec3, size_t, PointHash> volumeVertex;
    double largest = 0.0;
    for (size_t i = 0; i < vol.vertices.size(); ++i) {
        volumeVertex.emplace(vol.vertices[i].point, i);
        const Vec3& m = vol.vertices[i].momentum;
        largest = std::max(largest, std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]));
    }
    Walls w;
    std::unordered_map<Vec3, bool, PointHash> leaky;  // every surface vertex, by position
    for (const Surface* s : surfaces) {
        for (size_t t = 0; t < s->triangles.size(); ++t) {
            const Vec3& n = s->normals[t];
            for (uint32_t id : s->triangles[t]) {
                const Record& own = s->vertices[id];
                auto it = volumeVertex.find(own.point);
                double worst = std::fabs(own.momentum[0] * n[0] + own.momentum[1] * n[1] +
                                         own.momentum[2] * n[2]);
                if (it == volumeVertex.end()) {
                    w.missingVertices += leaky.count(own.point) == 0;
                } else {
                    const Vec3& m = vol.vertices[it->second].momentum;
                    worst = std::max(worst, std::fabs(m[0] * n[0] + m[1] * n[1] + m[2] * n[2]));
                }
                const double ratio = largest > 0 ? worst / largest : worst;
                w.worstRatio = std::max(w.worstRatio, ratio);
                leaky[own.point] = leaky[own.point] || ratio > tolerance;
            }
        }
    }
    w.vertices = leaky.size();
    for (const auto& entry : leaky) w.leakyVertices += entry.second;
    return w;
}

}  // namespace windmeasure
