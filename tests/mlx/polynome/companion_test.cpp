#include "mlx/polynome/companion.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "../alg/testing.hpp"

using namespace mlx;
using namespace mlx::polynomes;

TEST(Companion, BalancingLeavesABalancedMatrixAndQrReportsNonConvergence) {
    matrix<double> A = compan(matrix<double>{{1, -3, 2}});
    const matrix<double> before = A;
    EXPECT_TRUE(balance_companion(A));
    EXPECT_TRUE(isequal(A, before));
    matrix<double> B = compan(matrix<double>{{1, 2, std::nan(""), 4}});
    EXPECT_EQ(mlx::testing::report_of([&] { qr_companion(B); }),
              "<MLX Error>\nIn file mlx/polynome/companion.cpp at line #\nprocess not converging after 160 iterations");
}
