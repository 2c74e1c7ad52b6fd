#include "mlx/alg/svd.hpp"

#include <algorithm>
#include <cmath>

namespace mlx {

svd::svd(const matrix<double>& A, char job, method how) : job_(job) {
    if (job != 'A' && job != 'S' && job != 'N')
        MLX_RAISE(tool::checker::BadDimensions << ": svd job '" << job << "' (expected A, S or N)");
    const std::size_t m = A.rows(), n = A.cols(), k = std::min(m, n);
    if (A.empty()) return;
    // LAPACK's iterations need not end on a NaN or an infinity.
    if (!std::all_of(A.begin(), A.end(), [](double v) { return std::isfinite(v); }))
        MLX_RAISE("svd: the " << m << " x " << n << " matrix has an element that is not finite");
    s_.resize(k, 1);
    if (job == 'A') {
        u_.resize(m, m);
        vt_.resize(n, n);
    } else if (job == 'S') {
        u_.resize(m, k);
        vt_.resize(k, n);
    }
    double unused = 0.0;  // U and Vt are not referenced with job 'N'
    double* u = job == 'N' ? &unused : u_.data();
    double* vt = job == 'N' ? &unused : vt_.data();
    const std::size_t ldvt = job == 'S' ? k : n;
    matrix<double> a(A);
    if (how == method::divide_and_conquer) {
        info_ = alg::lapack::gesdd(job, m, n, a.data(), m, s_.data(), u, m, vt, ldvt, ws_);
        if (info_ == 0) return;
        a = A;
    }
    info_ = alg::lapack::gesvd(job, m, n, a.data(), m, s_.data(), u, m, vt, ldvt, ws_);
}

}  // namespace mlx
