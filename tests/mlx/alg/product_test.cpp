#include "mlx/alg/product.hpp"

#include <gtest/gtest.h>

#include "mlx/array/generate.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Product, TransposedFormsAgreeWithExplicitTransposes) {
    const matrix<double> A = random_matrix(7, 4, 1);
    const matrix<double> B = random_matrix(7, 5, 2);
    const matrix<double> C = random_matrix(6, 4, 3);
    EXPECT_LT(max_diff(mlx::prodtMM(A, B), naive_product(mlx::trans(A), B)), kTight);
    EXPECT_LT(max_diff(mlx::prodMtM(A, C), naive_product(A, mlx::trans(C))), kTight);
    EXPECT_EQ(mlx::prodtMM(A, B).size(), (mlx::shape{4, 5}));
    EXPECT_EQ(mlx::prodMtM(A, C).size(), (mlx::shape{7, 6}));
}

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

TEST(Product, WritesIntoFixedStorageAndReusesADynamicBlock) {
    const matrix<double, 9> H = {{1, 2, 0}, {0, 1, 3}, {0, 0, 1}};
    const matrix<double, 12> P = {{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    matrix<double, 12> out;
    mlx::prod(H, P, out);
    EXPECT_TRUE(mlx::isequal(out, naive_product(H, P)));

    matrix<double> big(20, 20);
    const double* block = big.data();
    mlx::prod(H, P, big);
    EXPECT_EQ(big.data(), block);
    EXPECT_EQ(big.size(), (mlx::shape{3, 4}));
    EXPECT_TRUE(mlx::isequal(big, out));
}

