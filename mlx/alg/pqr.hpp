#ifndef MLX_ALG_PQR_HPP
#define MLX_ALG_PQR_HPP

#include <cstddef>

#include "mlx/alg/lapack.hpp"
#include "mlx/array/matrix.hpp"

namespace mlx {

// Column-pivoted QR factorisation A*P = Q*R of an m x n matrix (LAPACK dgeqp3), the basis of
// the least-squares solver PQRSolve and of the numerical rank.
class pqr {
public:
    explicit pqr(const matrix<double>& A);

    // Numerical rank: the number of diagonal elements of R with |R(i,i)| > t (strictly), where
    // t = tol * max(m, n) * max_i |R(i,i)| (the maximum over an empty diagonal is the lowest double).
    unsigned rank(double tol) const;

    // X (n x nrhs) = the basic least-squares solution of A*X = B (B m x nrhs): Q^T*B by dormqr,
    // the leading r x r block of R solved by dtrtrs with r = rank(2^-52), rows of the n - r
    // least significant pivoted columns left 0. LAPACK's statuses are not examined.
    matrix<double> solve(const matrix<double>& B);

    // R on and above the diagonal, the Householder vectors below.
    const matrix<double>& factor() const noexcept { return qr_; }
    // The min(m, n) scalar factors of the reflectors.
    const matrix<double>& tau() const noexcept { return tau_; }
    // Column i of A*P is column pivot(i) - 1 of A (1-based, as LAPACK gives it).
    std::size_t pivot(std::size_t i) const noexcept { return jpvt_[i]; }
    // LAPACK's status of the factorisation.
    int status() const noexcept { return info_; }

private:
    matrix<double> qr_;
    matrix<double> tau_;
    alg::lapack::pivots jpvt_;
    std::size_t m_ = 0;
    std::size_t n_ = 0;
    int info_ = 0;
    alg::lapack::workspace ws_;
};

}  // namespace mlx

#endif
