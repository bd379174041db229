#include "math/math.h"

#include <time.h>

#include <cmath>
#include <cstring>

#include "math/random.h"

namespace {

const int kRandomListSize = 1000;
float RandomList[kRandomListSize];

// Below this cosine the endpoints are far enough apart for sin(omega) to divide safely.
const float kSlerpLinearCos = 0.999f;

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

void Normalize(double* v) {
    double len = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len == 0) {
        v[0] = v[1] = v[2] = 0;
        return;
    }
    v[0] /= len, v[1] /= len, v[2] /= len;
}

void Normalize(float* v) {
    float len = (float)sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len == 0) {
        v[0] = v[1] = v[2] = 0;
        return;
    }
    v[0] /= len, v[1] /= len, v[2] /= len;
}

void CrossProd(const double* a, const double* b, double* r) {
    double x = a[1] * b[2] - a[2] * b[1];
    double y = a[2] * b[0] - a[0] * b[2];
    double z = a[0] * b[1] - a[1] * b[0];
    r[0] = x, r[1] = y, r[2] = z;
    Normalize(r);
}

void CrossProd(const float* a, const float* b, float* r) {
    float x = a[1] * b[2] - a[2] * b[1];
    float y = a[2] * b[0] - a[0] * b[2];
    float z = a[0] * b[1] - a[1] * b[0];
    r[0] = x, r[1] = y, r[2] = z;
    Normalize(r);
}

void CrossProd3(const double* v1, const double* v2, const double* v3, double* result) {
    double d1[3] = {v2[0] - v1[0], v2[1] - v1[1], v2[2] - v1[2]};
    double d2[3] = {v3[0] - v2[0], v3[1] - v2[1], v3[2] - v2[2]};
    CrossProd(d1, d2, result);
}

void CrossProd3(const float* v1, const float* v2, const float* v3, float* result) {
    float d1[3] = {v2[0] - v1[0], v2[1] - v1[1], v2[2] - v1[2]};
    float d2[3] = {v3[0] - v2[0], v3[1] - v2[1], v3[2] - v2[2]};
    CrossProd(d1, d2, result);
}

double VecLen(const double* v) {
    return sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}
float VecLen(const float* v) {
    return (float)sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}
double DotProd3(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
float DotProd3(const float* a, const float* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void VMatMult(const float* M, float* v) {
    float res[4];
    for (int r = 0; r < 4; ++r) {
        res[r] = M[4 * r] * v[0] + M[4 * r + 1] * v[1] + M[4 * r + 2] * v[2] + M[4 * r + 3] * v[3];
    }
    memcpy(v, res, sizeof res);
}

void VMatMultPost(const float* M, float* v) {
    float res[4];
    for (int c = 0; c < 4; ++c) {
        res[c] = M[c] * v[0] + M[4 + c] * v[1] + M[8 + c] * v[2] + M[12 + c] * v[3];
    }
    memcpy(v, res, sizeof res);
}

void MatToQuat(float m[4][4], QUAT* quat) {
    float tr = m[0][0] + m[1][1] + m[2][2];
    if (tr > 0) {
        float s = sqrtf(tr + 1);
        quat->w = s / 2;
        s = 0.5f / s;
        quat->x = (m[1][2] - m[2][1]) * s;
        quat->y = (m[2][0] - m[0][2]) * s;
        quat->z = (m[0][1] - m[1][0]) * s;
        return;
    }
    const int nxt[3] = {1, 2, 0};
    int i = 0;
    if (m[1][1] > m[0][0]) i = 1;
    if (m[2][2] > m[i][i]) i = 2;
    int j = nxt[i], k = nxt[j];
    float q[3];
    float s = sqrtf(m[i][i] - (m[j][j] + m[k][k]) + 1);
    q[i] = s / 2;
    if (s != 0) s = 0.5f / s;
    quat->w = (m[j][k] - m[k][j]) * s;
    q[j] = (m[i][j] + m[j][i]) * s;
    q[k] = (m[i][k] + m[k][i]) * s;
    quat->x = q[0], quat->y = q[1], quat->z = q[2];
}

void QuatMul(const QUAT* q1, const QUAT* q2, QUAT* res) {
    // Eight-multiplication form of the Hamilton product.
    float A = (q1->w + q1->x) * (q2->w + q2->x);
    float B = (q1->z - q1->y) * (q2->y - q2->z);
    float C = (q1->w - q1->x) * (q2->y + q2->z);
    float D = (q1->y + q1->z) * (q2->w - q2->x);
    float E = (q1->x + q1->z) * (q2->x + q2->y);
    float F = (q1->x - q1->z) * (q2->x - q2->y);
    float G = (q1->w + q1->y) * (q2->w - q2->z);
    float H = (q1->w - q1->y) * (q2->w + q2->z);
    res->w = B + (-E - F + G + H) * 0.5f;
    res->x = A - (E + F + G + H) * 0.5f;
    res->y = C + (E - F + G - H) * 0.5f;
    res->z = D + (E - F - G + H) * 0.5f;
}

void QuatSlerp(const QUAT* from, const QUAT* to, QUAT* res, float t) {
    float cosom = from->x * to->x + from->y * to->y + from->z * to->z + from->w * to->w;
    float sign = 1;
    if (cosom < 0) {
        cosom = -cosom;
        sign = -1;
    }
    float scale0 = 1 - t, scale1 = t;
    if (cosom < kSlerpLinearCos) {
        float omega = acosf(cosom), sinom = sinf(omega);
        scale0 = sinf((1 - t) * omega) / sinom;
        scale1 = sinf(t * omega) / sinom;
    }
    scale1 *= sign;
    res->x = scale0 * from->x + scale1 * to->x;
    res->y = scale0 * from->y + scale1 * to->y;
    res->z = scale0 * from->z + scale1 * to->z;
    res->w = scale0 * from->w + scale1 * to->w;
}

void Rotate(const float* from, const float* to, float result[4][4]) {
    float v[3];
    CrossProd(from, to, v);
    float e = DotProd3(from, to);
    float h = (1 - e) / DotProd3(v, v);
    result[0][0] = e + h * v[0] * v[0];
    result[0][1] = h * v[0] * v[1] + v[2];
    result[0][2] = h * v[0] * v[2] - v[1];
    result[1][0] = h * v[0] * v[1] - v[2];
    result[1][1] = e + h * v[1] * v[1];
    result[1][2] = h * v[1] * v[2] + v[0];
    result[2][0] = h * v[0] * v[2] + v[1];
    result[2][1] = h * v[1] * v[2] - v[0];
    result[2][2] = e + h * v[2] * v[2];
    for (int i = 0; i < 3; ++i) result[i][3] = result[3][i] = 0;
    result[3][3] = 1;
}

// Gauss-Jordan on [M | I] without row exchanges. At a zero pivot M is left unchanged:
// a partial elimination would be neither the input nor an inverse.
void invert(float M[4][4]) {
    float D[4][8];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            D[r][c] = M[r][c];
            D[r][c + 4] = (r == c) ? 1.0f : 0.0f;
        }
    }
    for (int i = 0; i < 4; ++i) {
        float alpha = D[i][i];
        if (alpha == 0) return;
        for (int c = 0; c < 8; ++c) D[i][c] /= alpha;
        for (int r = 0; r < 4; ++r) {
            if (r == i) continue;
            float beta = D[r][i];
            for (int c = 0; c < 8; ++c) D[r][c] -= beta * D[i][c];
        }
    }
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) M[r][c] = D[r][c + 4];
    }
}

void FindPlanarEquation(const float* p, const float* n, double* result) {
    result[0] = n[0], result[1] = n[1], result[2] = n[2];
    result[3] = -((double)n[0] * p[0] + (double)n[1] * p[1] + (double)n[2] * p[2]);
}

float randN(float min, float max) {
    return min + (RandomInt() / 32767.0f) * (max - min);
}

float Random(float max) {
    return (RandomInt() / 32767.0f) * max;
}

void InitRandomList() {
    SeedRandom(static_cast<unsigned int>(clock()));
    for (int i = 0; i < kRandomListSize; ++i) RandomList[i] = RandomInt() / 32767.0f;
}

float GetRandomFromList() {
    static int position = 0;
    if (++position > kRandomListSize - 1) position = 0;
    return RandomList[position];
}
