#include "tools/kavconvert/mesh.h"

#include <algorithm>

namespace kav {

const char* const kRoleNames[kSurfaceCount] = {"walls", "ceiling", "city", "floor"};

void CheckCount(uint64_t count, const char* what) {
    if (count > kMaxCount) {
        throw ConvertError("the mesh has " + std::to_string(count) + " " + what +
                           ", more than the " + std::to_string(kMaxCount) +
                           " that the viewer's 32-bit counts can hold");
    }
}

void Extremes(const std::vector<Vertex>& vertices, Vertex* lo, Vertex* hi) {
    *lo = Vertex{{9e10, 9e10, 9e10}, 0, 0, {0, 0, 0}, 0};
    *hi = Vertex{{-9e10, -9e10, -9e10}, 0, 0, {0, 0, 0}, 0};
    if (vertices.empty()) return;
    *lo = *hi = vertices.front();
    double* l = reinterpret_cast<double*>(lo);
    double* h = reinterpret_cast<double*>(hi);
    for (const Vertex& v : vertices) {
        const double* d = reinterpret_cast<const double*>(&v);
        for (int f = 0; f < 9; ++f) {
            l[f] = std::min(l[f], d[f]);
            h[f] = std::max(h[f], d[f]);
        }
    }
}

double Determinant(const double* a, const double* b, const double* c, const double* d) {
    double e1[3], e2[3], e3[3];
    for (int k = 0; k < 3; ++k) {
        e1[k] = b[k] - a[k];
        e2[k] = c[k] - a[k];
        e3[k] = d[k] - a[k];
    }
    return e1[0] * (e2[1] * e3[2] - e2[2] * e3[1]) + e1[1] * (e2[2] * e3[0] - e2[0] * e3[2]) +
           e1[2] * (e2[0] * e3[1] - e2[1] * e3[0]);
}

}  // namespace kav
