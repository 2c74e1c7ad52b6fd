#ifndef MLX_ALG_NULLVECTOR_HPP
#define MLX_ALG_NULLVECTOR_HPP

#include <cstddef>

#include "mlx/array/matrix.hpp"

namespace mlx {

namespace detail {
// The null vector of the m x n column-major A (m < n) into x (n elements).
void nullvector(const double* A, std::size_t m, std::size_t n, double* x);
}  // namespace detail

// A unit column x with A*x = 0 for a matrix with fewer rows than columns: the last column of Q in
// the QR factorisation of A^T, which is orthogonal to every row of A. For a wide matrix of full
// row rank this is zerosolve(A) up to sign and rounding, for a fraction of the cost (no SVD); with
// a larger null space it is one of its vectors, not necessarily zerosolve's.
matrix<double> nullvector(const matrix<double>& A);

// The same vector into x, which must hold A.cols() elements. Allocates nothing for systems of at
// most 72 elements, such as the four-point homography's 8 x 9 system.
template <std::size_t C>
void nullvector(const matrix<double, C>& A, double* x) {
    detail::nullvector(A.data(), A.rows(), A.cols(), x);
}

}  // namespace mlx

#endif
