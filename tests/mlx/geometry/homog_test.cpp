#include "mlx/geometry/homog.hpp"

#include <gtest/gtest.h>

#include "../alg/testing.hpp"

using mlx::matrix;
using mlx::geometry::homog;
using mlx::geometry::homography;
using namespace mlx::testing;

namespace {

const matrix<double, 12> kUnitSquare = {{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};

// Largest difference between the normalised images H*X and the points Y.
template <std::size_t C>
double transfer_error(const homog& H, const matrix<double, C>& X, const matrix<double, C>& Y) {
    matrix<double, C> P = H.applyto(X);
    mlx::geometry::normalize_h(P);
    matrix<double, C> Q(Y);
    mlx::geometry::normalize_h(Q);
    return max_diff(P, Q);
}

}  // namespace

TEST(Homog, NormalisedAndDirectPathsAgreeOnRandomFourPointRoundTrips) {
    lcg g(90);
    for (int trial = 0; trial < 50; ++trial) {
        // Random corners near the unit square, so no three are collinear.
        matrix<double, 12> X(kUnitSquare), Y;
        for (std::size_t c = 0; c < 4; ++c)
            for (std::size_t i = 0; i < 2; ++i) X(i, c) += 0.2 * g.next();
        const double x0 = 100 + 30 * g.next(), y0 = 50 + 30 * g.next(), x1 = 400 + 30 * g.next(), y1 = 60 + 30 * g.next();
        const double x2 = 420 + 30 * g.next(), y2 = 300 + 30 * g.next(), x3 = 90 + 30 * g.next(), y3 = 310 + 30 * g.next();
        Y = {{x0, x1, x2, x3}, {y0, y1, y2, y3}, {1, 1, 1, 1}};
        const homog Hn(X, Y, true);
        const homog Hd(X, Y, false);
        EXPECT_EQ(Hn(2, 2), 1.0);
        EXPECT_EQ(Hd(2, 2), 1.0);
        EXPECT_LT(transfer_error(Hn, X, Y), 1e-9);
        EXPECT_LT(transfer_error(Hd, X, Y), 1e-7);
        EXPECT_LT(max_diff(Hn.mat(), Hd.mat()), 1e-6 * (1 + mlx::globalNorm_eucl(Hn.mat())));
        // And back: the inverse correspondence undoes it.
        const homog Hb(Y, X, true);
        EXPECT_LT(transfer_error(Hb * Hn, X, X), 1e-9);
    }
}

TEST(Homog, PointAtInfinitySwitchesToTheDirectPath) {
    // H0 sends corner (1, 0) to a direction (w = 0): normalisation would divide by 0, so both
    // flags give the very same direct computation.
    const matrix<double> H0 = {{1, 0.5, 2}, {0, 1, 3}, {-1, 0.5, 1}};
    const matrix<double, 12> Y = homog(H0).applyto(kUnitSquare);
    ASSERT_EQ(Y(2, 1), 0.0);
    const homog H(kUnitSquare, Y, true);
    const homog Hd(kUnitSquare, Y, false);
    EXPECT_TRUE(mlx::isequal(H.mat(), Hd.mat()));
    // The equations read only Y's first two coordinates (they assume w = 1), so the
    // images (2,3), (3,3), (3.5,4), (2.5,4) form a parallelogram and H comes out affine.
    const matrix<double> affine = {{1, 0.5, 2}, {0, 1, 3}, {0, 0, 1}};
    EXPECT_LT(max_diff(H.mat(), affine), 1e-12) << H.mat();
}

TEST(Homog, TheUnitSquaresClosedFormIsTheEstimatedTransform) {
    lcg g(17);
    for (int trial = 0; trial < 200; ++trial) {
        // Perturbations of the unit square as learning draws them, and parallelograms, where the
        // projective terms vanish.
        matrix<double, 12> Y(kUnitSquare);
        for (std::size_t c = 0; c < 4; ++c)
            for (std::size_t i = 0; i < 2; ++i) Y(i, c) += 0.4 * g.next();
        if (trial % 10 == 0)
            for (std::size_t i = 0; i < 2; ++i) Y(i, 2) = Y(i, 1) + Y(i, 3) - Y(i, 0);
        const homog closed = mlx::geometry::unitSquareTo(Y);
        const homog estimated(kUnitSquare, Y, true);
        EXPECT_EQ(closed(2, 2), 1.0);
        EXPECT_LT(max_diff(closed.mat(), estimated.mat()), 1e-13 * (1 + mlx::globalNorm_eucl(estimated.mat())));
    }
    EXPECT_THROW(mlx::geometry::unitSquareTo(matrix<double>(2, 4)), mlx::tool::generalException);
}
