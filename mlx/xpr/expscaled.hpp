#ifndef MLX_XPR_EXPSCALED_HPP
#define MLX_XPR_EXPSCALED_HPP

#include <cstddef>

namespace mlx {

// out[i] = exp(scale * x[i]) for i < n, four or two at a time on the CPU's vector unit, two to
// three times the C library's speed: within an ulp of its exp where the result is a normal double,
// its exp itself elsewhere (a subnormal or infinite result, a NaN), and 0 below -745.2, where
// every rounding gives 0. Each value depends on its argument alone: on x86-64 the same bits
// whichever vector width runs it. x and out must not overlap.
void expscaled(const double* x, double scale, double* out, std::size_t n);

namespace detail {
// expscaled at a given vector width: 2, or 4 where the CPU has AVX2 (else 2 runs).
void expscaled(const double* x, double scale, double* out, std::size_t n, std::size_t lanes);
}  // namespace detail

}  // namespace mlx

#endif
