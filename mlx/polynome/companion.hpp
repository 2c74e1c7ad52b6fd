#ifndef MLX_POLYNOME_COMPANION_HPP
#define MLX_POLYNOME_COMPANION_HPP

#include <complex>

#include "mlx/array/matrix.hpp"

namespace mlx::polynomes {

// Companion matrix of the polynomial p (a row or column of coefficients, highest degree first,
// leading zeros ignored): ones on the first subdiagonal, -a_i / a_n in row i of the last column.
// Its eigenvalues are the roots of p; empty for a constant or all-zero p.
matrix<double> compan(const matrix<double>& p);

// Balances a square companion matrix in place by powers of 2 (radix-2 balancing, touching only
// the subdiagonal and the last column), which leaves its eigenvalues exact. Returns true.
bool balance_companion(matrix<double>& A);

// Eigenvalues of the square upper Hessenberg matrix A by the EISPACK hqr double-shift QR
// iteration, as a column ordered by the position at which each was found (not sorted); a
// complex pair has its negative imaginary part at the higher position. A is overwritten.
// Throws a generalException when a block needs more than 160 iterations.
matrix<std::complex<double>> qr_companion(matrix<double>& A);

}  // namespace mlx::polynomes

#endif
