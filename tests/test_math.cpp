// Vector and rotation helpers, and the portable random generator.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

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

TEST(Math, CrossProd3PairGivesCrossProd3sBitsOnBothLanes) {
    const double nan = std::nan(""), inf = INFINITY, tiny = 4.9e-324;
    std::vector<std::array<double, 9>> cases = {
        {0, 0, 0, 1, 0, 0, 1, 1, 0},            // the worked example
        {0, 0, 0, 1, 0, 0, 2, 0, 0},            // collinear: zero vector
        {1, 2, 3, 1, 2, 3, 1, 2, 3},            // one point
        {0, 0, 0, tiny, 0, 0, 0, tiny, 0},      // the cross product underflows to zero
        {0, 0, 0, 1e200, 0, 0, 0, 1e200, 0},    // its square overflows
        {nan, 0, 0, 1, 0, 0, 0, 1, 0},          // NaN
        {0, 0, 0, inf, 0, 0, 0, 1, 0},          // infinity
        {-0.0, 0, 0, 0, -0.0, 0, 0, 0, -0.0}};  // signed zeros
    std::mt19937_64 rng(4);
    std::uniform_real_distribution<double> u(-3, 3);
    for (int i = 0; i < 5000; ++i) {
        std::array<double, 9> c;
        for (double& x : c) x = std::ldexp(u(rng), (int)(rng() % 40) - 20);
        cases.push_back(c);
    }
    auto same = [](const double* x, const double* y) {
        return memcmp(x, y, 3 * sizeof(double)) == 0;
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::array<double, 9>& a = cases[i];
        const std::array<double, 9>& b = cases[(i * 7 + 3) % cases.size()];
        const double* pa[3] = {&a[0], &a[3], &a[6]};
        const double* pb[3] = {&b[0], &b[3], &b[6]};
        double ra[3], rb[3], ea[3], eb[3];
        CrossProd3Pair(pa, pb, ra, rb);
        CrossProd3(pa[0], pa[1], pa[2], ea);
        CrossProd3(pb[0], pb[1], pb[2], eb);
        ASSERT_TRUE(same(ra, ea)) << "case " << i;
        ASSERT_TRUE(same(rb, eb)) << "case " << i;
    }
}
