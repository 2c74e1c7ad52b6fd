#ifndef MLX_ALG_PINV_HPP
#define MLX_ALG_PINV_HPP

#include "mlx/array/matrix.hpp"

namespace mlx {

// The spacing of doubles at |x|: 2^(e - 52) where |x| = f * 2^e, 1 <= f < 2. NaN for a NaN or
// infinite x; 0 below the smallest normal double (2.2250738585072014e-308).
double eps(double x);

// Moore-Penrose pseudo-inverse (n x m) of the m x n matrix A from its thin SVD (dgesvd "S"):
// V * diag(w) * U^T with w(i) = 1 / S(i) when S(i) > max(m, n) * tol (strictly), else 0.
// tol < 0 (the default) takes tol = eps(S(0)). An empty A gives the empty result.
matrix<double> pinv(const matrix<double>& A, double tol = -1.0);

// pinv(A, tol) * B without forming the pseudo-inverse: V * (w .* (U^T * B)), the same threshold,
// from the divide-and-conquer SVD. A least-squares solve for many right-hand sides costs its SVD
// and two thin products.
matrix<double> pinvprod(const matrix<double>& A, const matrix<double>& B, double tol = -1.0);

}  // namespace mlx

#endif
