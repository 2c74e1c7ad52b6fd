#ifndef MLX_ALG_RIDGE_HPP
#define MLX_ALG_RIDGE_HPP

#include "mlx/array/matrix.hpp"

namespace mlx {

// Ridge regression of the columns of B (m x p) on A (m x n): the X (n x p) that minimises
// ||A X - B||^2 + lambda ||X||^2, V * diag(s / (s^2 + lambda)) * U^T * B from the divide-and-
// conquer thin SVD of A. A zero singular value contributes nothing. lambda must not be negative.
matrix<double> ridgeprod(const matrix<double>& A, const matrix<double>& B, double lambda);

// inv(A^T A + lambda I) (n x n), exactly symmetric, from the same SVD: V * diag(1 / (s^2 + lambda))
// * V^T, plus (I - V V^T) / lambda for the directions A does not reach when it has fewer rows
// than columns. A zero singular value with lambda 0 contributes nothing (the pseudo-inverse).
matrix<double> ridgeinv(const matrix<double>& A, double lambda);

// The same regression through the Cholesky factor of the regularised Gram matrix G = A^T A +
// lambda I (dsyrk, dpotrf): a fraction of the SVD's work where A has many rows, and as accurate as
// G is well conditioned (relative error near eps / rcond()).
class ridgefactor {
public:
    // Factors G for A (m x n); lambda must not be negative. rcond() is then lambda / ||G||_1, a
    // lower bound of G's reciprocal condition number since lambda is at most G's least eigenvalue,
    // or where that bound is below enough, dpocon's estimate.
    ridgefactor(const matrix<double>& A, double lambda, double enough);
    ridgefactor() = default;

    // Reciprocal condition number of G as above; 0 where G is not positive definite, and then
    // solve() and inverse() raise.
    double rcond() const { return rc; }
    // ridgeprod(A, B, lambda) for the A factored (n x p), by dpotrs.
    matrix<double> solve(const matrix<double>& A, const matrix<double>& B) const;
    // ridgeinv(A, lambda) for the A factored, exactly symmetric, by dpotri in place of the
    // factor, without allocating: the first call inverts, later calls return the same matrix,
    // and solve() then raises.
    const matrix<double>& inverse();

    // The factor in half the memory: its lower triangle column by column, packedSize(n) values
    // written to out; raises where there is no factor (rcond() 0, or inverted).
    void pack(double* out) const;
    static std::size_t packedSize(std::size_t n) { return n * (n + 1) / 2; }
    // inverse() of the factor of an n x n Gram matrix that pack() wrote, into out, whose storage
    // it reuses: the same matrix, with no allocation where out has the room.
    static void invertPacked(const double* packed, std::size_t n, matrix<double>& out);

private:
    matrix<double> L;  // lower triangle: the factor; upper: zero (both: the inverse, once formed)
    double rc = 0.0;
    bool inverted = false;
};

}  // namespace mlx

#endif
