#ifndef MLX_POLYNOME_POLYNOME_HPP
#define MLX_POLYNOME_POLYNOME_HPP

#include <cstddef>

#include "mlx/array/matrix.hpp"

namespace mlx::polynomes {

// A real polynomial as a row of coefficients, highest degree first. Leading zeros are kept, so
// that sums of fixed-length polynomials keep their length even when a leading term cancels.
// Products and constructions from roots are plain convolutions in a fixed order, so equal
// inputs give bit-identical coefficients.
class polynome {
public:
    // The empty polynomial: no coefficients.
    polynome() = default;
    // The coefficients of a row or column, highest degree first.
    explicit polynome(const matrix<double>& coefficients);

    // prod_k (x - r_k), multiplied out in the order of r (a row or column).
    static polynome fromRoots(const matrix<double>& r);
    // det(x*I - A) of a square A (degree n for n x n; 1 for the empty matrix), from det at n + 1
    // Chebyshev abscissae scaled to cover the eigenvalues and the Vandermonde system solved by
    // mldivide. Throws a generalException when A is not square.
    static polynome characteristic(const matrix<double>& A);

    const matrix<double>& coefficients() const noexcept { return c_; }
    std::size_t size() const noexcept { return c_.numel(); }
    double operator()(std::size_t k) const noexcept { return c_(k); }

    // Sums align the constant terms; the result has the length of the longer operand.
    polynome& operator+=(const polynome& other);
    polynome& operator-=(const polynome& other);
    polynome& operator*=(double s);

    friend polynome operator+(polynome a, const polynome& b) { return a += b; }
    friend polynome operator-(polynome a, const polynome& b) { return a -= b; }
    friend polynome operator*(polynome a, double s) { return a *= s; }
    friend polynome operator*(double s, polynome a) { return a *= s; }
    // The product, of length size() + other.size() - 1 (empty when either is empty).
    friend polynome operator*(const polynome& a, const polynome& b);

private:
    polynome& accumulate(const polynome& other, double sign);

    matrix<double> c_;
};

}  // namespace mlx::polynomes

#endif
