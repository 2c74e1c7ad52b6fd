#ifndef MLX_ALG_RIDGE_HPP
#define MLX_ALG_RIDGE_HPP

#include "mlx/array/matrix.hpp"

namespace mlx {

// Ridge regression of the columns of B (m x p) on A (m x n): the X (n x p) that minimises
// ||A X - B||^2 + lambda ||X||^2, V * diag(s / (s^2 + lambda)) * U^T * B from the divide-and-
// conquer thin SVD of A. A zero singular value contributes nothing. lambda must not be negative.
matrix<double> ridgeprod(const matrix<double>& A, const matrix<double>& B, double lambda);

// inv(A^T A + lambda I) (n x n), exactly symmetric, from the same SVD: V * diag(1 / (s^2 + lambda))
// * V^T, plus (I - V V^T) / lambda for the directions A does not reach when it has fewer rows
// than columns. A zero singular value with lambda 0 contributes nothing (the pseudo-inverse).
matrix<double> ridgeinv(const matrix<double>& A, double lambda);

}  // namespace mlx

#endif
