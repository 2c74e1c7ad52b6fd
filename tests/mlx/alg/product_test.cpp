#include "mlx/alg/product.hpp"

#include <gtest/gtest.h>

#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

// An empty operand gives an empty result; a one-element one scales the other element-wise.
TEST(Product, EmptyAndOneElementOperandsAreNotDgemm) {
    const matrix<double> E;
    const matrix<double> s = {{2.5}};
    const matrix<double> B = {{1, 2, 3}, {4, 5, 6}};
    const matrix<double> expected = {{2.5, 5, 7.5}, {10, 12.5, 15}};
    // Neither shape is conformable for a true product: the rule is not dgemm.
    EXPECT_TRUE(mlx::isequal(s * B, expected));
    EXPECT_TRUE(mlx::isequal(B * s, expected));
    EXPECT_TRUE((B * E).empty());
    EXPECT_TRUE((E * B).empty());
    EXPECT_TRUE(mlx::prodtMM(E, B).empty());
    EXPECT_TRUE(mlx::prodMtM(B, E).empty());
}

// A vector operand takes the matrix-vector path: each transposition form against its sums.
TEST(Product, VectorOperandsInEveryFormGiveTheProduct) {
    const matrix<double> M = {{1, 2, 3}, {4, 5, 6}};
    const matrix<double> row2 = {{1, -2}}, col2 = {{1}, {-2}};
    const matrix<double> row3 = {{1, 0.5, -1}}, col3 = {{1}, {0.5}, {-1}};
    const matrix<double> left = {{-7, -8, -9}}, right = {{-1}, {0.5}};
    EXPECT_TRUE(mlx::isequal(row2 * M, left));
    EXPECT_TRUE(mlx::isequal(mlx::prodtMM(col2, M), left));
    EXPECT_TRUE(mlx::isequal(mlx::prodtMM(M, col2), mlx::trans(left)));
    EXPECT_TRUE(mlx::isequal(M * col3, right));
    EXPECT_TRUE(mlx::isequal(mlx::prodMtM(M, row3), right));
    EXPECT_TRUE(mlx::isequal(mlx::prodMtM(row3, M), mlx::trans(right)));
    EXPECT_TRUE(mlx::isequal(row2 * col2, matrix<double>{{5}}));
}
