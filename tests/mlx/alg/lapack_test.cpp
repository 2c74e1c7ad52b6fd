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

TEST(Lapack, ColumnPivotedQrReturnsAPermutationOfTheColumns) {
    const matrix<double> A = random_matrix(6, 5, 7);
    matrix<double> F(A);
    lapack::pivots jpvt(5);
    jpvt.clear();
    matrix<double> tau(5, 1);
    lapack::workspace ws;
    ASSERT_EQ(lapack::geqp3(6, 5, F.data(), 6, jpvt, tau.data(), ws), 0);
    std::vector<bool> seen(5, false);
    for (std::size_t i = 0; i < 5; ++i) {
        ASSERT_GE(jpvt[i], 1u);
        ASSERT_LE(jpvt[i], 5u);
        EXPECT_FALSE(seen[jpvt[i] - 1]);
        seen[jpvt[i] - 1] = true;
    }
    // The diagonal of R is non-increasing in magnitude and |R(0,0)| is the largest column norm.
    double largest = 0.0;
    for (std::size_t j = 0; j < 5; ++j) {
        double s = 0.0;
        for (std::size_t i = 0; i < 6; ++i) s += A(i, j) * A(i, j);
        largest = std::max(largest, std::sqrt(s));
    }
    EXPECT_NEAR(std::abs(F(0, 0)), largest, kTight);
    for (std::size_t i = 1; i < 5; ++i) EXPECT_LE(std::abs(F(i, i)), std::abs(F(i - 1, i - 1)) + kTight);
}

TEST(Lapack, WorkspaceQueryGrowsTheWorkArrayToTheReportedLength) {
    lapack::workspace ws;
    EXPECT_EQ(ws.work_length(), 0u);
    matrix<double> A = random_matrix(8, 9, 3);
    matrix<double> S(8, 1), U(8, 8), Vt(9, 9);
    ASSERT_EQ(lapack::gesvd('A', 8, 9, A.data(), 8, S.data(), U.data(), 8, Vt.data(), 9, ws), 0);
    // dgesvd needs at least max(3 min(m,n) + max(m,n), 5 min(m,n)) = 40 here.
    EXPECT_GE(ws.work_length(), 40u);
}
