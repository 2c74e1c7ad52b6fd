#include "mlx/alg/mldivide.hpp"

#include <gtest/gtest.h>

#include "mlx/alg/product.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

namespace {

matrix<double> positiveDefinite() {
    const matrix<double> M = random_matrix(5, 5, 13);
    matrix<double> A = mlx::prodtMM(M, M);
    for (std::size_t i = 0; i < 5; ++i) A(i, i) += 1.0;
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = 0; j < i; ++j) A(j, i) = A(i, j);  // exactly symmetric
    return A;
}

}  // namespace

// Each shape goes to its solver; a failing one falls back to the basic least-squares solution,
// which has a zero per unknown beyond the rank.
TEST(Mldivide, ChoosesTheSolverByShapeAndFallsBackToLeastSquares) {
    const struct {
        matrix<double> A, B;
        int method;
        double tolerance;
        long zeros;  // -1: any
    } cases[] = {
        {{{2, 1, -1}, {0, 3, 2}, {0, 0, 4}}, random_matrix(3, 2, 11), mlx::UPPER, kTight, -1},
        {{{2, 0, 0}, {1, 3, 0}, {-1, 2, 4}}, random_matrix(3, 1, 12), mlx::LOWER, kTight, -1},
        // Upper triangular with A(1,1) = 0: dtrtrs reports it; consistent right-hand side.
        {{{1, 2, 3}, {0, 0, 1}, {0, 0, 2}}, {{6}, {1}, {2}}, mlx::LSQ, kLoose, 1},
        {positiveDefinite(), random_matrix(5, 3, 14), mlx::CHOL, kLoose, -1},
        // Symmetric with a positive diagonal but eigenvalues 3 and -1: Cholesky fails, not LU next.
        {{{1, 2}, {2, 1}}, {{3}, {3}}, mlx::LSQ, kTight, -1},
        {random_matrix(6, 6, 15), random_matrix(6, 2, 16), mlx::LU, kLoose, -1},
        // Rank 2 with exact elimination steps (multipliers 1/2 and 1/4): any LAPACK meets the zero
        // pivot U(2,2). B is column 0, so consistent.
        {{{4, 2, 6}, {2, 1, 3}, {1, 3, 4}}, {{4}, {2}, {1}}, mlx::LSQ, kLoose, 1},
    };
    for (const auto& c : cases) {
        matrix<double> X;
        EXPECT_EQ(mlx::mldivide(c.A, X, c.B), c.method) << c.A;
        EXPECT_LT(max_diff(naive_product(c.A, X), c.B), c.tolerance) << c.A;
        if (c.zeros >= 0) {
            EXPECT_EQ(std::count(X.begin(), X.end(), 0.0), c.zeros) << X;
        }
    }
}

TEST(PQRSolve, RankDeficientMatrixPutsZerosInTheRowsOfDroppedColumns) {
    // Columns 1 and 3 are multiples of column 0: rank 2 of 4 columns.
    matrix<double> A = random_matrix(6, 4, 21);
    for (std::size_t i = 0; i < 6; ++i) {
        A(i, 1) = 2.0 * A(i, 0);
        A(i, 3) = -0.5 * A(i, 0);
    }
    const matrix<double> B = naive_product(A, matrix<double>{{1}, {1}, {1}, {1}});
    matrix<double> X;
    EXPECT_TRUE(mlx::PQRSolve(A, X, B));
    ASSERT_EQ(X.size(), (mlx::shape{4, 1}));
    EXPECT_LT(max_diff(naive_product(A, X), B), kLoose);
    EXPECT_EQ(std::count(X.begin(), X.end(), 0.0), 2) << X;
    EXPECT_NE(X(2), 0.0);  // the independent column always stays
}
