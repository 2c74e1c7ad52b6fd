#include "mlx/alg/zerosolve.hpp"

#include <gtest/gtest.h>

#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Zerosolve, WideMatrixGivesAUnitNullVector) {
    // 8 x 9, as in the four-point homography: a null space of dimension one at least.
    const matrix<double> A = random_matrix(8, 9, 80);
    const matrix<double> x = mlx::zerosolve(A);
    ASSERT_EQ(x.size(), (mlx::shape{9, 1}));
    EXPECT_NEAR(mlx::globalNorm_eucl(x), 1.0, kTight);
    EXPECT_LT(max_diff(naive_product(A, x), matrix<double>(8, 1)), kTight);
}

TEST(Zerosolve, TallMatrixGivesTheVectorOfTheSmallestSingularValue) {
    // Columns scaled 3, 2, 1e-3: the minimiser is +-e_2.
    matrix<double> A(5, 3);
    A(0, 0) = 3;
    A(1, 1) = 2;
    A(2, 2) = 1e-3;
    const matrix<double> x = mlx::zerosolve(A);
    EXPECT_NEAR(std::abs(x(2)), 1.0, kTight);
    EXPECT_NEAR(x(0), 0.0, kTight);
    EXPECT_NEAR(x(1), 0.0, kTight);
}

TEST(Zerosolve, KnownNullVectorIsFound) {
    // Rows orthogonal to v = (1, 2, 2) / 3.
    const matrix<double> A = {{2, -1, 0}, {0, 1, -1}, {2, 0, -1}};
    const matrix<double> x = mlx::zerosolve(A);
    const double s = x(0) > 0 ? 1.0 : -1.0;
    EXPECT_NEAR(s * x(0), 1.0 / 3, kTight);
    EXPECT_NEAR(s * x(1), 2.0 / 3, kTight);
    EXPECT_NEAR(s * x(2), 2.0 / 3, kTight);
}
