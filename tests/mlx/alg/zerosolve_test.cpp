#include "mlx/alg/zerosolve.hpp"

#include <gtest/gtest.h>

#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Zerosolve, KnownNullVectorIsFound) {
    // Rows orthogonal to v = (1, 2, 2) / 3.
    const matrix<double> A = {{2, -1, 0}, {0, 1, -1}, {2, 0, -1}};
    const matrix<double> x = mlx::zerosolve(A);
    const double s = x(0) > 0 ? 1.0 : -1.0;
    EXPECT_NEAR(s * x(0), 1.0 / 3, kTight);
    EXPECT_NEAR(s * x(1), 2.0 / 3, kTight);
    EXPECT_NEAR(s * x(2), 2.0 / 3, kTight);
}
