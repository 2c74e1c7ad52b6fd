#include "mlx/polynome/polynome.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/alg/det.hpp"
#include "mlx/alg/mldivide.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"

namespace mlx::polynomes {

namespace {

constexpr double pi = 3.141592653589793;

// A power of 2 above the largest absolute row sum, which bounds every
// eigenvalue; dividing by it is exact.
double eigenvalue_bound(const matrix<double>& A) {
    double norm = 0.0;
    for (std::size_t i = 0; i < A.rows(); ++i) {
        double row = 0.0;
        for (std::size_t j = 0; j < A.cols(); ++j) row += std::abs(A(i, j));
        norm = std::max(norm, row);
    }
    if (norm == 0.0 || !std::isfinite(norm)) return 1.0;
    int exponent = 0;
    std::frexp(norm, &exponent);
    return std::ldexp(1.0, exponent);
}

}  // namespace

polynome::polynome(const matrix<double>& coefficients) {
    if (!coefficients.empty()) c_.assign(coefficients.data(), 1, coefficients.numel());
}

polynome polynome::fromRoots(const matrix<double>& r) {
    polynome p(matrix<double>{{1.0}});
    for (double root : r) p = p * polynome(matrix<double>{{1.0, -root}});
    return p;
}

polynome polynome::characteristic(const matrix<double>& A) {
    if (A.rows() != A.cols())
        MLX_RAISE(tool::checker::BadDimensions << ": characteristic polynomial of a non-square matrix "
                                               << A.size());
    const std::size_t n = A.rows();
    if (n == 0) return polynome(matrix<double>{{1.0}});

    // det(x I - A) = rho^n det(t I - A / rho) with x = rho t: the abscissae t stay in [-1, 1]
    // where the Vandermonde system is best conditioned.
    const double rho = eigenvalue_bound(A);
    const matrix<double> scaled = A / rho;
    matrix<double> V(n + 1, n + 1);
    matrix<double> values(n + 1, 1);
    for (std::size_t k = 0; k <= n; ++k) {
        const double t = std::cos(pi * static_cast<double>(2 * k + 1) / static_cast<double>(2 * (n + 1)));
        double power = 1.0;
        for (std::size_t j = n + 1; j-- > 0;) {
            V(k, j) = power;
            power *= t;
        }
        values(k) = det(t * eye(n) - scaled);
    }
    matrix<double> c;
    mldivide(V, c, values);
    double power = 1.0;
    for (std::size_t k = 0; k <= n; ++k) {
        c(k) *= power;
        power *= rho;
    }
    return polynome(c);
}

polynome& polynome::accumulate(const polynome& other, double sign) {
    const std::size_t n = std::max(size(), other.size());
    matrix<double> sum(1, n);
    for (std::size_t k = 0; k < size(); ++k) sum(n - size() + k) = c_(k);
    for (std::size_t k = 0; k < other.size(); ++k) sum(n - other.size() + k) += sign * other.c_(k);
    c_ = std::move(sum);
    return *this;
}

polynome& polynome::operator+=(const polynome& other) { return accumulate(other, 1.0); }
polynome& polynome::operator-=(const polynome& other) { return accumulate(other, -1.0); }

polynome& polynome::operator*=(double s) {
    for (double& c : c_) c *= s;
    return *this;
}

polynome operator*(const polynome& a, const polynome& b) {
    if (a.size() == 0 || b.size() == 0) return polynome();
    matrix<double> product(1, a.size() + b.size() - 1);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j) product(i + j) += a(i) * b(j);
    return polynome(product);
}

}  // namespace mlx::polynomes
