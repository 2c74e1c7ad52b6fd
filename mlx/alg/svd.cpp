#include "mlx/alg/svd.hpp"

#include <algorithm>

namespace mlx {

svd::svd(const matrix<double>& A, char job) : job_(job) {
    if (job != 'A' && job != 'S' && job != 'N')
        MLX_RAISE(tool::checker::BadDimensions << ": svd job '" << job << "' (expected A, S or N)");
    const std::size_t m = A.rows(), n = A.cols(), k = std::min(m, n);
    if (A.empty()) return;
    s_.resize(k, 1);
    if (job == 'A') {
        u_.resize(m, m);
        vt_.resize(n, n);
    } else if (job == 'S') {
        u_.resize(m, k);
        vt_.resize(k, n);
    }
    matrix<double> a(A);
    double unused = 0.0;  // U and Vt are not referenced with job 'N'
    double* u = job == 'N' ? &unused : u_.data();
    double* vt = job == 'N' ? &unused : vt_.data();
    info_ = alg::lapack::gesvd(job, m, n, a.data(), m, s_.data(), u, m, vt, job == 'S' ? k : n, ws_);
}

}  // namespace mlx
