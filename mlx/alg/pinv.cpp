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

namespace {

// V of the thin SVD of A scaled column by column by the reciprocal singular values above the
// threshold max(m, n) * tol (0 for the others): pinv(A) = Vw * U^T.
matrix<double> scaledV(const svd& d, std::size_t m, std::size_t n, double tol) {
    const matrix<double>& S = d.S();
    const std::size_t k = S.numel();
    if (tol < 0.0) tol = eps(S(0));
    const double t = static_cast<double>(std::max(m, n)) * tol;
    matrix<double> Vw(n, k);
    for (std::size_t i = 0; i < k; ++i) {
        const double w = S(i) > t ? 1.0 / S(i) : 0.0;
        for (std::size_t j = 0; j < n; ++j) Vw(j, i) = d.Vt()(i, j) * w;
    }
    return Vw;
}

}  // namespace

matrix<double> pinv(const matrix<double>& A, double tol) {
    const std::size_t m = A.rows(), n = A.cols();
    if (A.empty()) return matrix<double>(n, m);
    const svd d(A, 'S');
    return prodMtM(scaledV(d, m, n, tol), d.U());
}

matrix<double> pinvprod(const matrix<double>& A, const matrix<double>& B, double tol) {
    const std::size_t m = A.rows(), n = A.cols();
    if (A.empty()) return matrix<double>(n, B.cols());
    const svd d(A, 'S', svd::method::divide_and_conquer);
    return scaledV(d, m, n, tol) * prodtMM(d.U(), B);
}

}  // namespace mlx
