#include "mlx/alg/ridge.hpp"

#include "mlx/alg/product.hpp"
#include "mlx/alg/svd.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"

namespace mlx {

matrix<double> ridgeprod(const matrix<double>& A, const matrix<double>& B, double lambda) {
    if (!(lambda >= 0.0)) MLX_RAISE("ridgeprod: the weight " << lambda << " is negative");
    const std::size_t n = A.cols();
    if (A.empty()) return matrix<double>(n, B.cols());
    const svd d(A, 'S', svd::method::divide_and_conquer);
    const matrix<double>& S = d.S();
    matrix<double> Vw(n, S.numel());
    for (std::size_t i = 0; i < S.numel(); ++i) {
        const double denominator = S(i) * S(i) + lambda;
        const double w = denominator > 0.0 ? S(i) / denominator : 0.0;
        for (std::size_t j = 0; j < n; ++j) Vw(j, i) = d.Vt()(i, j) * w;
    }
    return Vw * prodtMM(d.U(), B);
}

matrix<double> ridgeinv(const matrix<double>& A, double lambda) {
    if (!(lambda >= 0.0)) MLX_RAISE("ridgeinv: the weight " << lambda << " is negative");
    const std::size_t n = A.cols();
    if (A.empty()) return lambda > 0.0 ? eye<double>(n) / lambda : matrix<double>(n, n);
    const svd d(A, 'S', svd::method::divide_and_conquer);
    const matrix<double>& S = d.S();
    const std::size_t k = S.numel();
    matrix<double> Vw(n, k);
    for (std::size_t i = 0; i < k; ++i) {
        const double denominator = S(i) * S(i) + lambda;
        const double w = denominator > 0.0 ? 1.0 / denominator : 0.0;
        for (std::size_t j = 0; j < n; ++j) Vw(j, i) = d.Vt()(i, j) * w;
    }
    matrix<double> H = Vw * d.Vt();
    if (k < n && lambda > 0.0) {
        const matrix<double> P = prodtMM(d.Vt(), d.Vt());
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < n; ++i) H(i, j) += ((i == j ? 1.0 : 0.0) - P(i, j)) / lambda;
    }
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j + 1; i < n; ++i) H(j, i) = H(i, j) = 0.5 * (H(i, j) + H(j, i));
    return H;
}

}  // namespace mlx
