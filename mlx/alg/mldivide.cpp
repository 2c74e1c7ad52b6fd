#include "mlx/alg/mldivide.hpp"

#include "mlx/alg/lapack.hpp"
#include "mlx/alg/pqr.hpp"

namespace mlx {

namespace lapack = alg::lapack;

namespace {

// Every element below the main diagonal is 0.0.
bool is_upper(const matrix<double>& A) {
    for (std::size_t j = 0; j < A.cols(); ++j)
        for (std::size_t i = j + 1; i < A.rows(); ++i)
            if (A(i, j) != 0.0) return false;
    return true;
}

// Every element above the main diagonal is 0.0.
bool is_lower(const matrix<double>& A) {
    for (std::size_t j = 1; j < A.cols(); ++j)
        for (std::size_t i = 0; i < std::min(j, A.rows()); ++i)
            if (A(i, j) != 0.0) return false;
    return true;
}

bool is_symmetric(const matrix<double>& A) {
    if (A.rows() != A.cols()) return false;
    for (std::size_t j = 0; j < A.cols(); ++j)
        for (std::size_t i = j + 1; i < A.rows(); ++i)
            if (A(i, j) != A(j, i)) return false;
    return true;
}

// Square, every diagonal element > 0.0 and equal to its transpose (is_herm_pos_diag).
bool is_herm_pos_diag(const matrix<double>& A) {
    if (A.rows() != A.cols()) return false;
    for (std::size_t i = 0; i < A.rows(); ++i)
        if (!(A(i, i) > 0.0)) return false;
    return is_symmetric(A);
}

// Triangular solve of square A on copies; false when dtrtrs reports a zero diagonal.
bool triangular_solve(char uplo, const matrix<double>& A, matrix<double>& X, const matrix<double>& B) {
    matrix<double> solution(B);
    const std::size_t n = A.rows();
    if (lapack::trtrs(uplo, 'N', 'N', n, B.cols(), A.data(), n, solution.data(), n) != 0) return false;
    X = std::move(solution);
    return true;
}

methods least_squares(const matrix<double>& A, matrix<double>& X, const matrix<double>& B) {
    PQRSolve(A, X, B);
    return LSQ;
}

}  // namespace

methods mldivide(const matrix<double>& A, matrix<double>& X, const matrix<double>& B) {
    if (A.empty() || B.empty()) return least_squares(A, X, B);  // X is the empty A.cols() x B.cols()
    if (A.rows() != B.rows())
        XPR_RAISE(tool::checker::SizeMismatch << ": A \\ B with A " << A.size() << " and B " << B.size());
    const bool square = A.rows() == A.cols();
    // The triangularity tests ignore the shape; a non-square triangular A goes to least squares.
    if (is_upper(A)) {
        if (square && triangular_solve('U', A, X, B)) return UPPER;
        return least_squares(A, X, B);
    }
    if (is_lower(A)) {
        if (square && triangular_solve('L', A, X, B)) return LOWER;
        return least_squares(A, X, B);
    }
    if (is_herm_pos_diag(A)) {
        matrix<double> factor(A);
        matrix<double> solution(B);
        if (CholSolveIP(factor, solution)) {
            X = std::move(solution);
            return CHOL;
        }
        return least_squares(A, X, B);
    }
    if (square) {
        matrix<double> factor(A);
        matrix<double> solution(B);
        lapack::pivots ipiv(A.rows());
        if (lapack::gesv(A.rows(), B.cols(), factor.data(), A.rows(), ipiv, solution.data(), A.rows()) == 0) {
            X = std::move(solution);
            return LU;
        }
        return least_squares(A, X, B);
    }
    return least_squares(A, X, B);
}

bool PQRSolve(const matrix<double>& A, matrix<double>& X, const matrix<double>& B) {
    pqr factorisation(A);
    X = factorisation.solve(B);
    return true;
}

bool CholSolveIP(matrix<double>& A, matrix<double>& B) {
    if (!is_symmetric(A)) return false;
    const std::size_t n = A.rows();
    if (n == 0 || B.empty()) return true;
    if (B.rows() != n)
        XPR_RAISE(tool::checker::SizeMismatch << ": Cholesky solve with A " << A.size() << " and B " << B.size());
    return lapack::posv('L', n, B.cols(), A.data(), n, B.data(), n) == 0;
}

}  // namespace mlx
