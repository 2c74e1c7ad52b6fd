#include "mlx/polynome/roots.hpp"

#include <algorithm>

#include "mlx/polynome/companion.hpp"

namespace mlx::polynomes {

matrix<std::complex<double>> roots(const matrix<double>& p) {
    std::size_t first = 0;
    while (first < p.numel() && p(first) == 0.0) ++first;
    std::size_t end = p.numel();
    while (end > first && p(end - 1) == 0.0) --end;
    if (first == end) return {};

    // Zero coefficients below the constant term of the trimmed polynomial are roots at 0, kept
    // exact rather than left for the iteration to approximate.
    matrix<double> trimmed(1, end - first);
    std::copy(p.begin() + static_cast<std::ptrdiff_t>(first), p.begin() + static_cast<std::ptrdiff_t>(end),
              trimmed.begin());
    matrix<double> A = compan(trimmed);
    balance_companion(A);
    const matrix<std::complex<double>> found = qr_companion(A);

    matrix<std::complex<double>> all(p.numel() - first - 1, 1);
    std::copy(found.begin(), found.end(), all.begin());
    return all;
}

matrix<std::complex<double>> roots(const polynome& p) { return roots(p.coefficients()); }

}  // namespace mlx::polynomes
