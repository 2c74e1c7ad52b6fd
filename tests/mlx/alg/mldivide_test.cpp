#include "mlx/alg/mldivide.hpp"

#include <gtest/gtest.h>

#include "mlx/alg/product.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

namespace {

// Residual of A*X = B.
double residual(const matrix<double>& A, const matrix<double>& X, const matrix<double>& B) {
    return max_diff(naive_product(A, X), B);
}

}  // namespace

TEST(Mldivide, UpperTriangularNonSymmetricMatrixGivesCode50) {
    const matrix<double> A = {{2, 1, -1}, {0, 3, 2}, {0, 0, 4}};
    const matrix<double> B = random_matrix(3, 2, 11);
    matrix<double> X;
    EXPECT_EQ(mlx::mldivide(A, X, B), mlx::UPPER);
    EXPECT_LT(residual(A, X, B), kTight);
}

TEST(Mldivide, LowerTriangularNonDiagonalMatrixGivesCode51) {
    const matrix<double> A = {{2, 0, 0}, {1, 3, 0}, {-1, 2, 4}};
    const matrix<double> B = random_matrix(3, 1, 12);
    matrix<double> X;
    EXPECT_EQ(mlx::mldivide(A, X, B), 51);
    EXPECT_LT(residual(A, X, B), kTight);
}

TEST(Mldivide, TriangularMatrixWithAZeroOnItsDiagonalFallsBackToLeastSquares) {
    // Upper triangular with A(1,1) = 0: dtrtrs reports it, PQRSolve answers with code 3.
    const matrix<double> A = {{1, 2, 3}, {0, 0, 1}, {0, 0, 2}};
    const matrix<double> B = {{6}, {1}, {2}};  // consistent: x = (1, 1, 1) solves it, among others
    matrix<double> X;
    EXPECT_EQ(mlx::mldivide(A, X, B), 3);
    EXPECT_LT(residual(A, X, B), kLoose);
    // The basic solution has one zero (rank 2, three unknowns).
    EXPECT_EQ(std::count(X.begin(), X.end(), 0.0), 1);
}

TEST(Mldivide, SymmetricPositiveDefiniteMatrixUsesCholesky) {
    const matrix<double> M = random_matrix(5, 5, 13);
    matrix<double> A = mlx::prodtMM(M, M);
    for (std::size_t i = 0; i < 5; ++i) A(i, i) += 1.0;
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = 0; j < i; ++j) A(j, i) = A(i, j);  // exactly symmetric
    const matrix<double> B = random_matrix(5, 3, 14);
    matrix<double> X;
    EXPECT_EQ(mlx::mldivide(A, X, B), mlx::CHOL);
    EXPECT_LT(residual(A, X, B), kLoose);
}

TEST(Mldivide, SymmetricPositiveDiagonalButIndefiniteFallsBackToLeastSquaresNotLu) {
    // Eigenvalues 3 and -1: positive diagonal, symmetric, not positive definite.
    const matrix<double> A = {{1, 2}, {2, 1}};
    const matrix<double> B = {{3}, {3}};
    matrix<double> X;
    EXPECT_EQ(mlx::mldivide(A, X, B), mlx::LSQ);
    EXPECT_LT(residual(A, X, B), kTight);
    EXPECT_NEAR(X(0), 1.0, kTight);
    EXPECT_NEAR(X(1), 1.0, kTight);
}

TEST(Mldivide, GeneralSquareMatrixUsesLu) {
    const matrix<double> A = random_matrix(6, 6, 15);
    const matrix<double> B = random_matrix(6, 2, 16);
    matrix<double> X;
    EXPECT_EQ(mlx::mldivide(A, X, B), mlx::LU);
    EXPECT_LT(residual(A, X, B), kLoose);
}

TEST(Mldivide, ExactlySingularSquareMatrixGivesTheBasicLeastSquaresSolution) {
    // Rank 2: column 2 = column 0 + column 1. Every elimination step is exact in binary (the
    // multipliers are 1/2 and 1/4), so any LAPACK meets the exact zero pivot of U(2,2).
    const matrix<double> A = {{4, 2, 6}, {2, 1, 3}, {1, 3, 4}};
    const matrix<double> B = {{4}, {2}, {1}};  // = column 0, so consistent
    matrix<double> X;
    EXPECT_EQ(mlx::mldivide(A, X, B), mlx::LSQ);
    EXPECT_LT(residual(A, X, B), kLoose);
    EXPECT_EQ(std::count(X.begin(), X.end(), 0.0), 1) << X;
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
    EXPECT_LT(residual(A, X, B), kLoose);
    EXPECT_EQ(std::count(X.begin(), X.end(), 0.0), 2) << X;
    EXPECT_NE(X(2), 0.0);  // the independent column always stays
}

