#include "mlx/alg/pqr.hpp"

#include <gtest/gtest.h>

#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Pqr, RankOfFullAndDeficientMatricesComparesWithTheThresholdStrictly) {
    EXPECT_EQ(mlx::pqr(random_matrix(7, 4, 31)).rank(0x1p-52), 4u);
    EXPECT_EQ(mlx::pqr(random_matrix(3, 6, 32)).rank(0x1p-52), 3u);
    matrix<double> A = random_matrix(5, 5, 33);
    for (std::size_t i = 0; i < 5; ++i) {
        A(i, 4) = A(i, 0) - A(i, 1);
        A(i, 3) = 3.0 * A(i, 2);
    }
    EXPECT_EQ(mlx::pqr(A).rank(0x1p-52), 3u);
    EXPECT_EQ(mlx::pqr(matrix<double>(4, 3)).rank(0x1p-52), 0u);

    // Diagonal entries 1, 8, 2, 4: R is the sorted diagonal exactly (no reflection is needed), and
    // with tol = 2^-5 the threshold is 2^-5 * 4 * 8 = 1, so the entry equal to it does not count.
    const mlx::pqr f(mlx::diag(matrix<double>{{1, 8, 2, 4}}));
    EXPECT_EQ(std::abs(f.factor()(0, 0)), 8.0);
    EXPECT_EQ(std::abs(f.factor()(3, 3)), 1.0);
    EXPECT_EQ(f.pivot(0), 2u);
    EXPECT_EQ(f.pivot(3), 1u);
    EXPECT_EQ(f.rank(0x1p-5), 3u);
    EXPECT_EQ(f.rank(0x1p-5 * (1 - 0x1p-52)), 4u);
}

