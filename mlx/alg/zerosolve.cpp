#include "mlx/alg/zerosolve.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/alg/lapack.hpp"

namespace mlx {

namespace {

// dgesvd with jobu "N", jobvt "A": only V^T is read, and U would be work thrown away. Fixed
// capacities CA (A's copy) and CV (V^T) keep small systems off the heap.
template <std::size_t CA, std::size_t CV>
void nullVector(const double* A, std::size_t m, std::size_t n, double* x) {
    // One workspace per thread, so its remembered query serves every later call of one shape.
    thread_local alg::lapack::workspace ws;
    matrix<double, CA> a;
    a.assign(A, m, n);
    matrix<double, CV> vt(n, n);
    matrix<double, CV> s(std::min(m, n), 1);
    double unused = 0.0;
    alg::lapack::gesvd('N', 'A', m, n, a.data(), m, s.data(), &unused, 1, vt.data(), n, ws);
    for (std::size_t j = 0; j < n; ++j) x[j] = vt(n - 1, j);
}

constexpr std::size_t kSmallColumns = 9;
constexpr std::size_t kSmallElements = 72;  // the 8 x 9 system of four point pairs

}  // namespace

namespace detail {

void zerosolve(const double* A, std::size_t m, std::size_t n, double* x) {
    // LAPACK's iterations need not end on a NaN or an infinity.
    if (!std::all_of(A, A + m * n, [](double v) { return std::isfinite(v); }))
        MLX_RAISE("zerosolve: the " << m << " x " << n << " system has an element that is not finite");
    if (n <= kSmallColumns && m * n <= kSmallElements)
        nullVector<kSmallElements, kSmallColumns * kSmallColumns>(A, m, n, x);
    else
        nullVector<dynamic, dynamic>(A, m, n, x);
}

}  // namespace detail

matrix<double> zerosolve(const matrix<double>& A) {
    if (A.empty()) return {};
    matrix<double> x(A.cols(), 1);
    detail::zerosolve(A.data(), A.rows(), A.cols(), x.data());
    return x;
}

}  // namespace mlx
