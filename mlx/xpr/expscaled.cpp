#include "mlx/xpr/expscaled.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "mlx/tool/cpu.hpp"

namespace mlx {

namespace {

// The polynomial's range: normal results, |k| <= 1022. Below underflow the result is less than half
// the least subnormal.
constexpr double lowest = -708.0, highest = 709.0, underflow = -745.2;

template <std::size_t W>
struct lanes {
    typedef double real __attribute__((vector_size(8 * W)));
    typedef std::int64_t bits __attribute__((vector_size(8 * W)));
};

// W values from x to out: exp(v) = 2^k * exp(r), k the nearest integer to v / ln 2 and
// |r| <= ln 2 / 2, exp(r) = 1 + (r + r^2 s(r)) with s from the Taylor polynomial of degree 13
// (a remainder below 2^-55), its terms paired so that the chain of dependent operations stays
// short. Only IEEE additions and multiplications, never fused, in one order: the same bits at any
// width W. Lanes whose argument lies outside the polynomial's range are marked in outside.
template <std::size_t W>
[[gnu::always_inline]] inline void block(const double* x, double scale, double* out, typename lanes<W>::bits& outside) {
    using real = typename lanes<W>::real;
    using bits = typename lanes<W>::bits;
    constexpr double log2e = 1.4426950408889634, ln2hi = 6.93147180369123816490e-01, ln2lo = 1.90821492927058770002e-10,
                     round = 6755399441055744.0;  // 1.5 * 2^52
    real v;
    std::memcpy(&v, x, sizeof v);
    v = v * scale;
    const bits inside = (v >= lowest) & (v <= highest);
    outside |= ~(inside | (v < underflow));
    const real y = (real)(((bits)v & inside) | ((bits)(real{} + lowest) & ~inside));
    const real t = y * log2e + round;
    const real k = t - round;
    const real r = (y - k * ln2hi) - k * ln2lo;
    const real r2 = r * r, r4 = r2 * r2;
    const real c23 = r * (1.0 / 6.0) + 0.5, c45 = r * (1.0 / 120.0) + 1.0 / 24.0,
               c67 = r * (1.0 / 5040.0) + 1.0 / 720.0, c89 = r * (1.0 / 362880.0) + 1.0 / 40320.0,
               c1011 = r * (1.0 / 39916800.0) + 1.0 / 3628800.0, c1213 = r * (1.0 / 6227020800.0) + 1.0 / 479001600.0;
    const real s = ((c1213 * r2 + c1011) * r4 + (c89 * r2 + c67)) * r4 + (c45 * r2 + c23);
    const real p = (s * r2 + r) + 1.0;
    // t's low bits hold k; shifted into the exponent field they make 2^k.
    const real e = p * (real)(((bits)t + 1023) << 52);
    const real result = (real)((bits)e & inside);
    std::memcpy(out, &result, sizeof result);
}

// The C library's exp for the arguments outside the polynomial's range, after the vector pass.
void outsiders(const double* x, double scale, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const double v = x[i] * scale;
        if (!(v >= lowest && v <= highest) && !(v < underflow)) out[i] = std::exp(v);
    }
}

template <std::size_t W>
[[gnu::always_inline]] inline void run(const double* x, double scale, double* out, std::size_t n) {
    typename lanes<W>::bits outside{};
    std::size_t i = 0;
    for (; i + W <= n; i += W) block<W>(x + i, scale, out + i, outside);
    if (i < n) {
        double in[W] = {}, done[W];
        std::memcpy(in, x + i, (n - i) * sizeof(double));
        block<W>(in, scale, done, outside);
        std::memcpy(out + i, done, (n - i) * sizeof(double));
    }
    std::int64_t any = 0;
    for (std::size_t l = 0; l < W; ++l) any |= outside[l];
    if (any != 0) outsiders(x, scale, out, n);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void wide(const double* x, double scale, double* out, std::size_t n) {
    run<4>(x, scale, out, n);
}
#endif

}  // namespace

namespace detail {

void expscaled(const double* x, double scale, double* out, std::size_t n, std::size_t lanes) {
#if defined(__x86_64__) || defined(__i386__)
    if (lanes == 4 && tool::hasAvx2()) return wide(x, scale, out, n);
#endif
    run<2>(x, scale, out, n);
}

}  // namespace detail

void expscaled(const double* x, double scale, double* out, std::size_t n) { detail::expscaled(x, scale, out, n, 4); }

}  // namespace mlx
