#include "mlx/alg/lapack.hpp"

#include <gtest/gtest.h>

#include "mlx/array/matrix.hpp"
#include "testing.hpp"

namespace lapack = mlx::alg::lapack;
using mlx::matrix;
using namespace mlx::testing;

// With an integer alias wider than the library's, dgetrf would write 32-bit pivots into 64-bit
// slots and these indices would be garbage; the reconstruction checks they are the real ones.
TEST(Lapack, PivotedLuRoundTripsThroughTheIntegerAlias) {
    const matrix<double> A = {{0, 2, 1, 4}, {1, 1, 3, 0}, {5, 0, 2, 1}, {2, 7, 0, 3}};
    matrix<double> F(A);
    lapack::pivots ipiv(4);
    ASSERT_EQ(lapack::getrf(4, 4, F.data(), 4, ipiv), 0);
    // Column 0's largest element is 5 in row 2, so the first interchange is with row 3 (1-based).
    EXPECT_EQ(ipiv[0], 3u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_GE(ipiv[i], i + 1);
        EXPECT_LE(ipiv[i], 4u);
    }
    // P*A = L*U: apply the interchanges to A in order and compare with L*U.
    matrix<double> PA(A);
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < 4; ++j) std::swap(PA(i, j), PA(ipiv[i] - 1, j));
    matrix<double> L(4, 4), U(4, 4);
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < 4; ++j) {
            if (i > j) L(i, j) = F(i, j);
            else U(i, j) = F(i, j);
            if (i == j) L(i, i) = 1.0;
        }
    EXPECT_LT(max_diff(naive_product(L, U), PA), kTight);
}

