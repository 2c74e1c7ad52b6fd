#include "mlx/alg/det.hpp"

#include <gtest/gtest.h>

#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Det, HandComputedDeterminantsWithTheSignOfTheRowInterchanges) {
    EXPECT_DOUBLE_EQ(mlx::det(matrix<double>{{3}}), 3.0);
    EXPECT_DOUBLE_EQ(mlx::det(matrix<double>{{1, 2}, {3, 4}}), -2.0);
    EXPECT_DOUBLE_EQ(mlx::det(matrix<double>{{2, 0, 1}, {1, 3, 2}, {1, 1, 2}}), 6.0);
    EXPECT_EQ(mlx::det(matrix<double>{{1, 2}, {2, 4}}), 0.0);
    // Permutation matrices: one interchange gives -1, a 3-cycle (two interchanges) gives +1.
    EXPECT_EQ(mlx::det(matrix<double>{{0, 1}, {1, 0}}), -1.0);
    EXPECT_EQ(mlx::det(matrix<double>{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}), 1.0);
    EXPECT_EQ(mlx::det(matrix<double>{{0, 0, 1}, {0, 1, 0}, {1, 0, 0}}), -1.0);
    // Pivoting on a matrix whose first pivot is small: the sign must survive the interchange.
    EXPECT_NEAR(mlx::det(matrix<double>{{1e-3, 1}, {1, 1}}), 1e-3 - 1.0, kTight);
    EXPECT_NEAR(mlx::det(matrix<double>{{1, 1}, {1e-3, 1}}), 1.0 - 1e-3, kTight);
}

