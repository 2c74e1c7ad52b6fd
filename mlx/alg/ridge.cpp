#include "mlx/alg/ridge.hpp"

#include "mlx/alg/product.hpp"
#include "mlx/alg/svd.hpp"
#include "mlx/tool/exception.hpp"

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

}  // namespace mlx
