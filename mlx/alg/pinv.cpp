#include "mlx/alg/pinv.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "mlx/alg/product.hpp"
#include "mlx/alg/svd.hpp"

namespace mlx {

double eps(double x) {
    const double a = std::abs(x);
    if (!std::isfinite(a)) return std::numeric_limits<double>::quiet_NaN();
    if (a < std::numeric_limits<double>::min()) return 0.0;
    int e = 0;
    std::frexp(a, &e);  // a = g * 2^e with 0.5 <= g < 1, so a = (2g) * 2^(e - 1)
    return std::ldexp(1.0, e - 1 - 52);
}

matrix<double> pinv(const matrix<double>& A, double tol) {
    const std::size_t m = A.rows(), n = A.cols();
    if (A.empty()) return matrix<double>(n, m);
    const svd d(A, 'S');
    const matrix<double>& S = d.S();
    const std::size_t k = S.numel();
    if (tol < 0.0) tol = eps(S(0));
    const double t = static_cast<double>(std::max(m, n)) * tol;
    // V scaled column by column by w, then times U^T (dgemm "N","T").
    matrix<double> Vw(n, k);
    for (std::size_t i = 0; i < k; ++i) {
        const double w = S(i) > t ? 1.0 / S(i) : 0.0;
        for (std::size_t j = 0; j < n; ++j) Vw(j, i) = d.Vt()(i, j) * w;
    }
    return prodMtM(Vw, d.U());
}

}  // namespace mlx
