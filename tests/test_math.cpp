// Vector and rotation helpers, and the portable random generator.
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

TEST(Math, MatrixTimesVector) {
    float M[16] = {1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 3, 0, 0, 0, 1};
    float v[4] = {1, 1, 1, 1};
    VMatMult(M, v);
    EXPECT_EQ(v[0], 3.0f);
    EXPECT_EQ(v[2], 4.0f);
    EXPECT_EQ(v[3], 1.0f);
}

TEST(Math, RandomSequencesAreFixedAndInRange) {
    RandomSequence random, again;
    // The C standard's portable generator from state 1.
    EXPECT_EQ(random.Next(), 16838);
    EXPECT_EQ(random.Next(), 5758);
    EXPECT_EQ(random.Next(), 10113);
    EXPECT_EQ(again.Next(), 16838);  // every sequence starts there
    int lo = kRandomMax, hi = 0;
    for (int i = 0; i < 200000; ++i) {
        int r = random.Next();
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, kRandomMax);
}
