// Vector, quaternion and matrix helpers, and the portable random generator.
#include <gtest/gtest.h>

#include <cmath>

#include "math/math.h"
#include "math/random.h"

namespace {

void ExpectVec(const double* v, double x, double y, double z, double tol = 1e-12) {
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

// Hamilton product written out directly, to check the eight-multiplication form.
QUAT Hamilton(const QUAT& a, const QUAT& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

}  // namespace

TEST(Math, NormalizeAndCrossProducts) {
    double zero[3] = {0, 0, 0};
    Normalize(zero);
    ExpectVec(zero, 0, 0, 0, 0);
    double v[3] = {3, 0, 4};
    Normalize(v);
    ExpectVec(v, 0.6, 0, 0.8);

    const double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {1, 1, 0}, far[3] = {5, 0, 0};
    double n[3];
    CrossProd3(a, b, c, n);
    ExpectVec(n, 0, 0, 1);
    CrossProd3(b, a, c, n);  // swapping two corners flips the normal
    ExpectVec(n, 0, 0, -1);
    CrossProd3(a, b, far, n);  // collinear corners
    ExpectVec(n, 0, 0, 0, 0);

    float fa[3] = {0, 0, 0}, fb[3] = {2, 0, 0}, fc[3] = {2, 0, 3}, fn[3];
    CrossProd3(fa, fb, fc, fn);
    EXPECT_FLOAT_EQ(fn[1], -1.0f);
    EXPECT_DOUBLE_EQ(VecLen(v), 1.0);
    EXPECT_DOUBLE_EQ(DotProd3(a, b), 0.0);
}

TEST(Math, EulerRotationsFollowTheRightHandRule) {
    QUAT q;
    EulerToQuat(0, 0, 0, &q);
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.w, 1.0f);
    float same[4] = {1.5f, -2, 3, 7};
    rotateVecByQuat(same, q);
    EXPECT_EQ(same[0], 1.5f);
    EXPECT_EQ(same[3], 7.0f);

    float x[4] = {1, 0, 0, 1};
    EulerToQuat(0, 0, (float)M_PI / 2, &q);  // yaw turns +X into +Y
    rotateVecByQuat(x, q);
    EXPECT_NEAR(x[0], 0, 1e-6);
    EXPECT_NEAR(x[1], 1, 1e-6);
    EXPECT_EQ(x[3], 1.0f);

    float y[4] = {0, 1, 0, 1};
    EulerToQuat((float)M_PI / 2, 0, 0, &q);  // roll turns +Y into +Z
    rotateVecByQuat(y, q);
    EXPECT_NEAR(y[1], 0, 1e-6);
    EXPECT_NEAR(y[2], 1, 1e-6);
}

TEST(Math, QuaternionProductMatrixRoundTripAndSlerp) {
    QUAT a, b, res;
    EulerToQuat(0.3f, -0.7f, 1.1f, &a);
    EulerToQuat(-1.2f, 0.4f, 0.25f, &b);
    QuatMul(&a, &b, &res);
    QUAT ref = Hamilton(a, b);
    EXPECT_NEAR(res.x, ref.x, 1e-6);
    EXPECT_NEAR(res.y, ref.y, 1e-6);
    EXPECT_NEAR(res.z, ref.z, 1e-6);
    EXPECT_NEAR(res.w, ref.w, 1e-6);

    // MatToQuat reads the matrix transposed, so it returns the conjugate (up to sign).
    float m[4][4];
    QuatToMatrix(&a, m);
    QUAT back;
    MatToQuat(m, &back);
    float s = back.w * a.w > 0 ? 1.0f : -1.0f;
    EXPECT_NEAR(s * back.x, -a.x, 1e-5);
    EXPECT_NEAR(s * back.y, -a.y, 1e-5);
    EXPECT_NEAR(s * back.z, -a.z, 1e-5);
    EXPECT_NEAR(s * back.w, a.w, 1e-5);

    QuatSlerp(&a, &b, &res, 0);
    EXPECT_NEAR(res.x, a.x, 1e-6);
    QuatSlerp(&a, &b, &res, 1);
    float sb = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(res.w, sb * b.w, 1e-5);
    QuatSlerp(&a, &a, &res, 0.5f);  // identical ends take the linear weights, no 0/0
    EXPECT_NEAR(res.y, a.y, 1e-6);
}

TEST(Math, MatrixHelpers) {
    float M[16] = {1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 3, 0, 0, 0, 1};
    float v[4] = {1, 1, 1, 1};
    VMatMult(M, v);
    EXPECT_EQ(v[0], 3.0f);
    EXPECT_EQ(v[2], 4.0f);
    float w[4] = {1, 1, 1, 1};
    VMatMultPost(M, w);
    EXPECT_EQ(w[1], 3.0f);
    EXPECT_EQ(w[3], 4.0f);

    float A[4][4] = {{2, 0, 0, 1}, {0, 4, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    invert(A);
    EXPECT_FLOAT_EQ(A[0][0], 0.5f);
    EXPECT_FLOAT_EQ(A[0][3], -0.5f);
    EXPECT_FLOAT_EQ(A[1][1], 0.25f);
    float S[4][4] = {{0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    invert(S);  // zero first pivot: left unchanged
    EXPECT_EQ(S[0][1], 1.0f);
    EXPECT_EQ(S[0][0], 0.0f);

    const float from[3] = {1, 0, 0}, to[3] = {0, 1, 0};
    float R[4][4];
    Rotate(from, to, R);
    float f[4] = {1, 0, 0, 1};
    VMatMultPost(&R[0][0], f);  // the rows of R carry `from` onto `to`
    EXPECT_NEAR(f[0], 0, 1e-6);
    EXPECT_NEAR(f[1], 1, 1e-6);

    const float p[3] = {0, 2, 0}, n[3] = {0, 1, 0};
    double plane[4];
    FindPlanarEquation(p, n, plane);
    EXPECT_EQ(plane[3], -2.0);
}

TEST(Math, RandomSequencesAreFixedAndInRange) {
    SeedRandom(1);
    // The C standard's portable generator from state 1.
    EXPECT_EQ(RandomInt(), 16838);
    EXPECT_EQ(RandomInt(), 5758);
    EXPECT_EQ(RandomInt(), 10113);
    int lo = kRandomMax, hi = 0;
    for (int i = 0; i < 200000; ++i) {
        int r = RandomInt();
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, kRandomMax);
    float r = randN(-2, 3);
    EXPECT_GE(r, -2);
    EXPECT_LE(r, 3);

    InitRandomList();
    float first[1000];
    for (float& e : first) e = GetRandomFromList();  // entries 1..999, then 0
    for (int i = 0; i < 1000; ++i) {
        EXPECT_GE(first[i], 0);
        EXPECT_LE(first[i], 1);
    }
    EXPECT_EQ(GetRandomFromList(), first[0]);  // wrapped around to entry 1 again
}
