#include "math/math.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if !defined(__SSE2__)
// Unit vector along a x b; 0 when the product is 0.
void CrossProd(const double* a, const double* b, double* r) {
    double x = a[1] * b[2] - a[2] * b[1];
    double y = a[2] * b[0] - a[0] * b[2];
    double z = a[0] * b[1] - a[1] * b[0];
    r[0] = x, r[1] = y, r[2] = z;
    Normalize(r);
}
#endif

}  // namespace

void EulerToQuat(float roll, float pitch, float yaw, QUAT* quat) {
    float cr = (float)cos(roll * 0.5), sr = (float)sin(roll * 0.5);
    float cp = (float)cos(pitch * 0.5), sp = (float)sin(pitch * 0.5);
    float cy = (float)cos(yaw * 0.5), sy = (float)sin(yaw * 0.5);
    quat->w = cr * cp * cy + sr * sp * sy;
    quat->x = sr * cp * cy - cr * sp * sy;
    quat->y = cr * sp * cy + sr * cp * sy;
    quat->z = cr * cp * sy - sr * sp * cy;
}

void QuatToMatrix(QUAT* q, float m[4][4]) {
    float x2 = q->x + q->x, y2 = q->y + q->y, z2 = q->z + q->z;
    float xx = q->x * x2, yy = q->y * y2, zz = q->z * z2;
    float xy = q->x * y2, xz = q->x * z2, yz = q->y * z2;
    float wx = q->w * x2, wy = q->w * y2, wz = q->w * z2;
    m[0][0] = 1 - (yy + zz), m[0][1] = xy - wz, m[0][2] = xz + wy, m[0][3] = 0;
    m[1][0] = xy + wz, m[1][1] = 1 - (xx + zz), m[1][2] = yz - wx, m[1][3] = 0;
    m[2][0] = xz - wy, m[2][1] = yz + wx, m[2][2] = 1 - (xx + yy), m[2][3] = 0;
    m[3][0] = 0, m[3][1] = 0, m[3][2] = 0, m[3][3] = 1;
}

void rotateVecByQuat(float* f, QUAT q) {
    float m[4][4];
    QuatToMatrix(&q, m);
    VMatMult(&m[0][0], f);
}

void VMatMult(const float* M, float* v) {
    float res[4];
    for (int r = 0; r < 4; ++r) {
        res[r] = M[4 * r] * v[0] + M[4 * r + 1] * v[1] + M[4 * r + 2] * v[2] + M[4 * r + 3] * v[3];
    }
    memcpy(v, res, sizeof res);
}

void Normalize(double* v) {
    double len = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len == 0) {
        v[0] = v[1] = v[2] = 0;
        return;
    }
    v[0] /= len, v[1] /= len, v[2] /= len;
}

void CrossProd3(const double* v1, const double* v2, const double* v3, double* result) {
#if defined(__SSE2__)
    // One lane of the pair, so that a triangle's normal has the same bits whichever way it is
    // worked out, down to the sign of a NaN (which the compiler may otherwise choose).
    const double* const corners[3] = {v1, v2, v3};
    double unused[3];
    CrossProd3Pair(corners, corners, result, unused);
#else
    double d1[3] = {v2[0] - v1[0], v2[1] - v1[1], v2[2] - v1[2]};
    double d2[3] = {v3[0] - v2[0], v3[1] - v2[1], v3[2] - v2[2]};
    CrossProd(d1, d2, result);
#endif
}

void CrossProd3Pair(const double* const a[3], const double* const b[3], double* ra, double* rb) {
#if defined(__SSE2__)
    // Lane 0 is triangle a, lane 1 triangle b. Division and square root are correctly rounded
    // in each lane, as in scalar code, and nothing is fused.
    __m128d p[3][3];
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 3; ++k) p[c][k] = _mm_set_pd(b[c][k], a[c][k]);
    }
    __m128d d1[3], d2[3];
    for (int k = 0; k < 3; ++k) {
        d1[k] = _mm_sub_pd(p[1][k], p[0][k]);
        d2[k] = _mm_sub_pd(p[2][k], p[1][k]);
    }
    __m128d x = _mm_sub_pd(_mm_mul_pd(d1[1], d2[2]), _mm_mul_pd(d1[2], d2[1]));
    __m128d y = _mm_sub_pd(_mm_mul_pd(d1[2], d2[0]), _mm_mul_pd(d1[0], d2[2]));
    __m128d z = _mm_sub_pd(_mm_mul_pd(d1[0], d2[1]), _mm_mul_pd(d1[1], d2[0]));
    __m128d len =
        _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y)), _mm_mul_pd(z, z)));
    // A zero length gives the zero vector, as Normalize does, instead of a division.
    __m128d keep = _mm_cmpneq_pd(len, _mm_setzero_pd());
    x = _mm_and_pd(_mm_div_pd(x, len), keep);
    y = _mm_and_pd(_mm_div_pd(y, len), keep);
    z = _mm_and_pd(_mm_div_pd(z, len), keep);
    _mm_storel_pd(&ra[0], x), _mm_storeh_pd(&rb[0], x);
    _mm_storel_pd(&ra[1], y), _mm_storeh_pd(&rb[1], y);
    _mm_storel_pd(&ra[2], z), _mm_storeh_pd(&rb[2], z);
#else
    for (int t = 0; t < 2; ++t) {
        const double* const* v = t ? b : a;
        double d1[3] = {v[1][0] - v[0][0], v[1][1] - v[0][1], v[1][2] - v[0][2]};
        double d2[3] = {v[2][0] - v[1][0], v[2][1] - v[1][1], v[2][2] - v[1][2]};
        CrossProd(d1, d2, t ? rb : ra);
    }
#endif
}