#include "mlx/alg/zerosolve.hpp"

#include <gtest/gtest.h>

#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Zerosolve, KnownNullVectorIsFound) {
    // Rows orthogonal to v = (1, 2, 2) / 3.
    const matrix<double> x = mlx::zerosolve(matrix<double>{{2, -1, 0}, {0, 1, -1}, {2, 0, -1}});
    EXPECT_LT(max_diff(matrix<double>(x * (x(0) > 0 ? 3.0 : -3.0)), matrix<double>{{1}, {2}, {2}}), kTight);
}
