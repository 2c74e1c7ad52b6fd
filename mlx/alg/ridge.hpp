#ifndef MLX_ALG_RIDGE_HPP
#define MLX_ALG_RIDGE_HPP

#include "mlx/array/matrix.hpp"

namespace mlx {

// Ridge regression of the columns of B (m x p) on A (m x n): the X (n x p) that minimises
// ||A X - B||^2 + lambda ||X||^2, V * diag(s / (s^2 + lambda)) * U^T * B from the divide-and-
// conquer thin SVD of A. A zero singular value contributes nothing. lambda must not be negative.
matrix<double> ridgeprod(const matrix<double>& A, const matrix<double>& B, double lambda);

}  // namespace mlx

#endif
