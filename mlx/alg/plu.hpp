#ifndef MLX_ALG_PLU_HPP
#define MLX_ALG_PLU_HPP

#include <cstddef>

#include "mlx/alg/lapack.hpp"
#include "mlx/array/matrix.hpp"

namespace mlx {

// LU factorisation with partial pivoting P*A = L*U of a square matrix (LAPACK dgetrf), with the
// inverse and a reciprocal condition estimate made at most once per factorisation. A singular
// factor is not reported at construction (status() > 0). A non-square A raises BadDimensions.
class plu {
public:
    explicit plu(const matrix<double>& A);

    // The inverse by dgetri, returned even when A is singular (the status is not reported).
    // Unless quiet: the 1-norm reciprocal condition number is estimated by dgecon on the first
    // such call only, and while it is below 2^-52 (not NaN) every call writes to std::cerr
    //   " Warning : Qx::Matrix is close to singular or badly scaled."
    //   "           Results may be inaccurate. RCOND = <rcond>."
    // inv(true) never prints and never estimates.
    matrix<double> inv(bool quiet = false);

    // The cached reciprocal condition estimate; -1.0 until an inv(false) has computed it.
    double rcond() const noexcept { return rcond_; }
    // How many times the condition estimate was computed (0 or 1), for tests.
    unsigned estimates() const noexcept { return estimates_; }
    // The 1-norm of A, kept from before the factorisation.
    double norm1() const noexcept { return anorm_; }
    // L (unit diagonal, below) and U (on and above the diagonal) packed.
    const matrix<double>& factor() const noexcept { return lu_; }
    // Row i was interchanged with row pivot(i) - 1 (1-based, as LAPACK gives it).
    std::size_t pivot(std::size_t i) const noexcept { return ipiv_[i]; }
    std::size_t order() const noexcept { return n_; }
    // LAPACK's status of dgetrf: 0, or i > 0 when U(i-1, i-1) is exactly 0.
    int status() const noexcept { return info_; }

private:
    matrix<double> lu_;
    std::size_t n_ = 0;
    alg::lapack::pivots ipiv_;
    int info_ = 0;
    double anorm_ = 0.0;
    double rcond_ = -1.0;
    unsigned estimates_ = 0;
    alg::lapack::workspace ws_;
};

}  // namespace mlx

#endif
