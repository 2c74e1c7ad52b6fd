#ifndef MLX_POLYNOME_ROOTS_HPP
#define MLX_POLYNOME_ROOTS_HPP

#include <complex>

#include "mlx/array/matrix.hpp"
#include "mlx/polynome/polynome.hpp"

namespace mlx::polynomes {

// Roots of p (a row or column of coefficients, highest degree first) as a complex column: the
// eigenvalues of its balanced companion matrix in the order hqr finds them, then one exact 0
// per trailing zero coefficient. Leading zeros are dropped first, so a constant or all-zero p
// has no roots. Throws a generalException when hqr does not converge.
matrix<std::complex<double>> roots(const matrix<double>& p);
matrix<std::complex<double>> roots(const polynome& p);

}  // namespace mlx::polynomes

#endif
