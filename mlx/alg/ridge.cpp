#include "mlx/alg/ridge.hpp"

#include <algorithm>

#include "mlx/alg/lapack.hpp"
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

ridgefactor::ridgefactor(const matrix<double>& A, double lambda, double enough) {
    if (!(lambda >= 0.0)) MLX_RAISE("ridgefactor: the weight " << lambda << " is negative");
    const std::size_t n = A.cols();
    L = matrix<double>(n, n);
    if (n == 0) return;
    if (A.rows() > 0) alg::lapack::syrk('L', 'T', n, A.rows(), A.data(), A.rows(), L.data(), n);
    for (std::size_t i = 0; i < n; ++i) L(i, i) += lambda;
    alg::lapack::workspace ws;
    const double norm = alg::lapack::lansy('1', 'L', n, L.data(), n, ws);
    if (alg::lapack::potrf('L', n, L.data(), n) != 0) return;
    rc = lambda / norm;
    if (!(rc >= enough)) alg::lapack::pocon('L', n, L.data(), n, norm, rc, ws);
}

matrix<double> ridgefactor::solve(const matrix<double>& A, const matrix<double>& B) const {
    if (!(rc > 0.0) || inverted)
        MLX_RAISE("ridgefactor: no factor to solve with (the Gram matrix is not positive definite, or was inverted)");
    const std::size_t n = L.rows();
    if (n == 0 || B.cols() == 0 || A.rows() == 0) return matrix<double>(n, B.cols());
    matrix<double> X = prodtMM(A, B);
    alg::lapack::potrs('L', n, X.cols(), L.data(), n, X.data(), n);
    return X;
}

namespace {

// dpotri on the factor's lower triangle, the upper triangle then mirrored from it.
void invertInPlace(matrix<double>& L) {
    const std::size_t n = L.rows();
    if (n == 0) return;
    alg::lapack::potri('L', n, L.data(), n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j + 1; i < n; ++i) L(j, i) = L(i, j);
}

}  // namespace

const matrix<double>& ridgefactor::inverse() {
    if (!(rc > 0.0)) MLX_RAISE("ridgefactor: no factor to invert, the Gram matrix is not positive definite");
    if (inverted) return L;
    invertInPlace(L);
    inverted = true;
    return L;
}

void ridgefactor::pack(double* out) const {
    if (!(rc > 0.0) || inverted)
        MLX_RAISE("ridgefactor: no factor to pack (the Gram matrix is not positive definite, or was inverted)");
    const std::size_t n = L.rows();
    for (std::size_t j = 0; j < n; ++j) out = std::copy_n(L.data() + j * n + j, n - j, out);
}

void ridgefactor::invertPacked(const double* packed, std::size_t n, matrix<double>& out) {
    out.resize(n, n);
    for (std::size_t j = 0; j < n; packed += n - j, ++j) {
        std::fill_n(out.data() + j * n, j, 0.0);
        std::copy_n(packed, n - j, out.data() + j * n + j);
    }
    invertInPlace(out);
}

}  // namespace mlx
