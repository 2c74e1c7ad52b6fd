#ifndef MLX_ALG_SVD_HPP
#define MLX_ALG_SVD_HPP

#include "mlx/alg/lapack.hpp"
#include "mlx/array/matrix.hpp"

namespace mlx {

// Singular value decomposition A = U * diag(S) * Vt of an m x n matrix by LAPACK dgesvd, with the
// same job for U and Vt: 'A' (U m x m, Vt n x n), 'S' (U m x k, Vt k x n, k = min(m, n)) or
// 'N' (values only; U and Vt empty). S is the k x 1 column of singular values, decreasing.
// Another job raises BadDimensions, a NaN or infinite element a report. status() is dgesvd's
// info (> 0: no convergence).
// The divide-and-conquer method (dgesdd) gives the same decomposition up to rounding and the
// signs of singular vector pairs, several times faster on large matrices; where it does not
// converge, dgesvd decides.
class svd {
public:
    enum class method { qr_iteration, divide_and_conquer };

    svd(const matrix<double>& A, char job, method how = method::qr_iteration);

    const matrix<double>& U() const noexcept { return u_; }
    const matrix<double>& S() const noexcept { return s_; }
    const matrix<double>& Vt() const noexcept { return vt_; }
    int status() const noexcept { return info_; }
    char job() const noexcept { return job_; }

private:
    char job_;
    matrix<double> u_;
    matrix<double> s_;
    matrix<double> vt_;
    int info_ = 0;
    alg::lapack::workspace ws_;
};

}  // namespace mlx

#endif
