#include "volume/trianglestore.h"

#include "math/math.h"

void TriangleStore::Add(const double* p1, const double* p2, const double* p3) {
    triangles.emplace_back();
    Triangle& tri = triangles.back();
    for (int k = 0; k < 3; ++k) {
        tri.point[0][k] = p1[k];
        tri.point[1][k] = p2[k];
        tri.point[2][k] = p3[k];
    }
    CrossProd3(p1, p2, p3, tri.normal);
}
