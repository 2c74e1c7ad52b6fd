#ifndef MLX_ALG_ZEROSOLVE_HPP
#define MLX_ALG_ZEROSOLVE_HPP

#include "mlx/array/matrix.hpp"

namespace mlx {

// The unit column x (A.cols() x 1) minimising ||A*x||: the right singular vector of the smallest
// singular value, i.e. the last row of V^T of the full SVD (a null vector when A is rank
// deficient, also for a wide A). An empty A gives the empty result.
matrix<double> zerosolve(const matrix<double>& A);

}  // namespace mlx

#endif
