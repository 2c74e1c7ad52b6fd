#include "tracker/kernel.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/alg/product.hpp"
#include "mlx/xpr/reductions.hpp"

namespace track::kernel {
mlx::matrix<double> rowSquares(const mlx::matrix<double>& X) {
    mlx::matrix<double> s(X.rows(), 1);
    for (std::size_t j = 0; j < X.cols(); ++j)
        for (std::size_t i = 0; i < X.rows(); ++i) s(i) += X(i, j) * X(i, j);
    return s;
}

void dist2(const mlx::matrix<double>& X, const mlx::matrix<double>& Y, mlx::matrix<double>& out) {
    const mlx::matrix<double> a = rowSquares(X);
    const mlx::matrix<double> b = rowSquares(Y);
    mlx::prodMtM(X, Y, out);
    for (std::size_t j = 0; j < out.cols(); ++j)
        for (std::size_t i = 0; i < out.rows(); ++i) out(i, j) = a(i) + b(j) - 2.0 * out(i, j);
}

void dist2(const mlx::matrix<double>& X, const mlx::matrix<double>& Y, const mlx::matrix<double>& ySquares,
           mlx::matrix<double>& out) {
    mlx::prodMtM(X, Y, out);
    for (std::size_t i = 0; i < out.rows(); ++i) {
        double a = 0.0;  // summed in the order of rowSquares
        for (std::size_t j = 0; j < X.cols(); ++j) a += X(i, j) * X(i, j);
        for (std::size_t j = 0; j < out.cols(); ++j) out(i, j) = a + ySquares(j) - 2.0 * out(i, j);
    }
}

mlx::matrix<double> dist2(const mlx::matrix<double>& X, const mlx::matrix<double>& Y) {
    mlx::matrix<double> out;
    dist2(X, Y, out);
    return out;
}

void gaussian(mlx::matrix<double>& D, double width) {
    const double w2 = width * width;
    for (double& d : D) d = std::exp(-d / w2);
}

mlx::matrix<double> sbl_kernelFunction(const mlx::matrix<double>& X, const mlx::matrix<double>& Y, double width) {
    mlx::matrix<double> K = dist2(X, Y);
    gaussian(K, width);
    return K;
}

widthCriterium::widthCriterium(const mlx::matrix<double>& X) : distances(dist2(X, X)) {}

// Column by column: each column of the Gram matrix is formed in a buffer that stays in cache and
// reduced at once, instead of mapping a copy of the whole N x N matrix and reading it again.
double widthCriterium::operator()(double const& width) const {
    const std::size_t n = distances.rows();
    const double w2 = width * width;
    column.resize(n, 1);
    spread.resize(1, distances.cols());
    for (std::size_t j = 0; j < distances.cols(); ++j) {
        const double* d = distances.data() + j * n;
        for (std::size_t i = 0; i < n; ++i) column(i) = std::exp(-d[i] / w2);
        spread(j) = mlx::stdev(column, false, 0)(0);
    }
    return -mlx::stdev(spread, false, 0)(0);
}

double findWidth(const mlx::matrix<double>& X, double width0) { return findWidth(widthCriterium(X), width0); }

double findWidth(const mlx::optimization::optimizableFunc<double, double>& f, double width0) {
    return mlx::optimization::base_brent(f, std::min(0.0, 2.0 * width0), std::max(0.0, 2.0 * width0), width0,
                                         mlx::optimization::brent_rtol, mlx::optimization::brent_atol,
                                         mlx::optimization::brent_max_passes);
}

}  // namespace track::kernel
