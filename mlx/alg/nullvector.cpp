#include "mlx/alg/nullvector.hpp"

#include <algorithm>

#include "mlx/alg/lapack.hpp"
#include "mlx/tool/exception.hpp"

namespace mlx {

namespace {

// Q's last column is Q e_n: the reflectors of A^T = QR applied to the last unit vector. Unblocked
// routines: for a few columns, blocking and workspace queries cost more than the arithmetic.
template <std::size_t C>
void lastColumnOfQ(const double* A, std::size_t m, std::size_t n, double* x) {
    thread_local alg::lapack::workspace ws;
    matrix<double, C> at(n, m);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < n; ++j) at(j, i) = A[i + m * j];
    matrix<double, C> tau(m, 1);
    alg::lapack::geqr2(n, m, at.data(), n, tau.data(), ws);
    std::fill(x, x + n, 0.0);
    x[n - 1] = 1.0;
    alg::lapack::orm2r('L', 'N', n, 1, m, at.data(), n, tau.data(), x, n, ws);
}

constexpr std::size_t kSmallElements = 72;  // the 8 x 9 system of four point pairs

}  // namespace

namespace detail {

void nullvector(const double* A, std::size_t m, std::size_t n, double* x) {
    if (m >= n)
        MLX_RAISE(tool::checker::BadDimensions << ": nullvector needs fewer rows than columns, not " << m << " x " << n);
    if (m * n <= kSmallElements)
        lastColumnOfQ<kSmallElements>(A, m, n, x);
    else
        lastColumnOfQ<dynamic>(A, m, n, x);
}

}  // namespace detail

matrix<double> nullvector(const matrix<double>& A) {
    matrix<double> x(A.cols(), 1);
    detail::nullvector(A.data(), A.rows(), A.cols(), x.data());
    return x;
}

}  // namespace mlx
