#ifndef MLX_ALG_MLDIVIDE_HPP
#define MLX_ALG_MLDIVIDE_HPP

// The linear-system solver A \ B with its automatic choice of method.

#include "mlx/array/matrix.hpp"

namespace mlx {

// Which solver produced the result of mldivide.
enum methods {
    CHOL = 1,    // Cholesky (dposv): A symmetric with a positive diagonal
    LU = 2,      // LU with partial pivoting (dgesv): general square A
    LSQ = 3,     // least squares by column-pivoted QR (PQRSolve)
    UPPER = 50,  // upper-triangular solve (dtrtrs); a diagonal A lands here
    LOWER = 51   // lower-triangular solve (dtrtrs)
};

// X = the solution of A*X = B. Tests, the first that holds decides: A upper triangular (50),
// lower triangular (51), square symmetric with positive diagonal (Cholesky, 1), square (LU, 2),
// else least squares (3). A failing triangular, Cholesky or LU solve falls back to PQRSolve (3).
// A and B are not modified (X may be either of them). Rows of A and B must agree (else a
// SizeMismatch report); an empty A or B gives the empty X and code 3.
methods mldivide(const matrix<double>& A, matrix<double>& X, const matrix<double>& B);

// X = the basic least-squares solution of A*X = B by column-pivoted QR (dgeqp3, dormqr,
// dtrtrs) with the rank taken at tolerance 2^-52; the rows of X belonging to the dropped
// pivoted columns are 0. Always returns true; LAPACK's statuses are not examined.
bool PQRSolve(const matrix<double>& A, matrix<double>& X, const matrix<double>& B);

// Solves A*X = B in place (X replaces B, A is overwritten by its Cholesky factor) with dposv
// on the lower triangle. False, with A and B untouched, when A differs from its transpose;
// false when A is not positive definite; true otherwise.
bool CholSolveIP(matrix<double>& A, matrix<double>& B);

}  // namespace mlx

#endif
