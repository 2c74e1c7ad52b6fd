#ifndef MLX_ALG_DET_HPP
#define MLX_ALG_DET_HPP

#include "mlx/array/matrix.hpp"

namespace mlx {

// Determinant of the square matrix A from its LU factorisation (plu): the product of U's
// diagonal, taken in order from 1.0, negated once per row interchange. 0 for exactly singular A.
double det(const matrix<double>& A);

}  // namespace mlx

#endif
