#ifndef MLX_ALG_ZEROSOLVE_HPP
#define MLX_ALG_ZEROSOLVE_HPP

#include <cstddef>

#include "mlx/array/matrix.hpp"

namespace mlx {

namespace detail {
// The unit vector of n elements minimising ||A x|| for the m x n column-major A, into x.
void zerosolve(const double* A, std::size_t m, std::size_t n, double* x);
}  // namespace detail

// The unit column x (A.cols() x 1) minimising ||A*x||: the right singular vector of the smallest
// singular value, i.e. the last row of V^T of the full SVD (a null vector when A is rank
// deficient, also for a wide A). An empty A gives the empty result; a NaN or infinite element
// raises a report.
matrix<double> zerosolve(const matrix<double>& A);

// The same vector into x, which must hold A.cols() elements. Allocates nothing for systems of at
// most 9 columns and 72 elements, such as the four-point homography's 8 x 9 system.
template <std::size_t C>
void zerosolve(const matrix<double, C>& A, double* x) {
    if (!A.empty()) detail::zerosolve(A.data(), A.rows(), A.cols(), x);
}

}  // namespace mlx

#endif
