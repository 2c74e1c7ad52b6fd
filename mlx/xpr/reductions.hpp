#ifndef MLX_XPR_REDUCTIONS_HPP
#define MLX_XPR_REDUCTIONS_HPP

// Sums, means, norms, variances and maxima. Dimensions count from 1: dim 1 reduces down each
// column (one result per column), dim 2 along each row. Sums accumulate in double precision in
// storage order from 0 and a mean divides by the count last; an empty input gives NaN means.

#include <cmath>
#include <limits>

#include "mlx/array/matrix.hpp"

namespace mlx {

namespace detail {

// dim 0 resolves to the first dimension whose extent is not 1 (a single element reduces along 1).
template <class T, std::size_t C>
unsigned first_nonsingleton(const matrix<T, C>& x, unsigned dim) {
    if (dim != 0) return dim;
    return x.rows() == 1 && x.cols() != 1 ? 2u : 1u;
}

template <class T, std::size_t C>
void require_dim(const matrix<T, C>& x, unsigned dim) {
    if (dim != 1 && dim != 2)
        MLX_RAISE(tool::checker::BadDimensions << ": reduction of " << x.size() << " along dimension " << dim);
}

// f(slice begin, stride, count) for each slice along dim, into a 1 x cols or rows x 1 result.
template <class R, class T, std::size_t C, class F>
matrix<R> per_slice(const matrix<T, C>& x, unsigned dim, F f) {
    require_dim(x, dim);
    const bool down = dim == 1;
    matrix<R> out(down ? 1 : x.rows(), down ? x.cols() : 1);
    const std::size_t slices = down ? x.cols() : x.rows();
    const std::size_t count = down ? x.rows() : x.cols();
    const std::size_t stride = down ? 1 : x.rows();
    for (std::size_t s = 0; s < slices; ++s)
        out(s) = f(x.data() + (down ? s * x.rows() : s), stride, count);
    return out;
}

}  // namespace detail

// Sum of all elements.
template <class T, std::size_t C>
double sum(const matrix<T, C>& x) {
    double s = 0.0;
    for (const T& v : x) s += static_cast<double>(v);
    return s;
}

// Column sums (dim 1, a 1 x cols row) or row sums (dim 2, a rows x 1 column).
template <class T, std::size_t C>
matrix<double> sum(const matrix<T, C>& x, unsigned dim) {
    return detail::per_slice<double>(x, dim, [](const T* p, std::size_t stride, std::size_t n) {
        double s = 0.0;
        for (std::size_t k = 0; k < n; ++k) s += static_cast<double>(p[k * stride]);
        return s;
    });
}

// Mean of all elements.
template <class T, std::size_t C>
double globalMean(const matrix<T, C>& x) {
    return sum(x) / static_cast<double>(x.numel());
}

// Means along dim; dim 0 gives the 1 x 1 mean of all elements (unlike var and stdev).
template <class T, std::size_t C>
matrix<double> mean(const matrix<T, C>& x, unsigned dim) {
    if (dim == 0) return matrix<double>{{globalMean(x)}};
    matrix<double> m = sum(x, dim);
    const double n = static_cast<double>(dim == 1 ? x.rows() : x.cols());
    for (double& v : m) v /= n;
    return m;
}

// sqrt of the sum of squared magnitudes of all elements (the Frobenius norm of a matrix).
template <class T, std::size_t C>
double globalNorm_eucl(const matrix<T, C>& x) {
    double s = 0.0;
    for (const T& v : x) {
        const double a = static_cast<double>(std::abs(v));
        s += a * a;
    }
    return std::sqrt(s);
}

// Variance of each slice along dim (0: the first non-singleton dimension): sum of |x - mean|^2
// divided by count - 1, or by count when flag is true.
template <class T, std::size_t C>
matrix<double> var(const matrix<T, C>& x, bool flag, unsigned dim) {
    return detail::per_slice<double>(x, detail::first_nonsingleton(x, dim),
                                     [flag](const T* p, std::size_t stride, std::size_t n) {
        double s = 0.0;
        for (std::size_t k = 0; k < n; ++k) s += static_cast<double>(p[k * stride]);
        const double m = s / static_cast<double>(n);
        double ss = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const double d = std::abs(static_cast<double>(p[k * stride]) - m);
            ss += d * d;
        }
        return ss / static_cast<double>(flag ? n : n - 1);
    });
}

// Square root of var(x, flag, dim).
template <class T, std::size_t C>
matrix<double> stdev(const matrix<T, C>& x, bool flag, unsigned dim) {
    matrix<double> v = var(x, flag, dim);
    for (double& e : v) e = std::sqrt(e);
    return v;
}

// Position of the largest element of each slice along the first non-singleton dimension (one
// position for a vector). The running maximum starts at the lowest finite double and only a
// strictly greater element replaces it, so ties give the first position and NaN never wins; a
// slice of only NaN or -infinity gives position 0.
template <class T, std::size_t C>
matrix<std::size_t> indmax(const matrix<T, C>& x) {
    return detail::per_slice<std::size_t>(x, detail::first_nonsingleton(x, 0),
                                          [](const T* p, std::size_t stride, std::size_t n) {
        double best = std::numeric_limits<double>::lowest();
        std::size_t at = 0;
        for (std::size_t k = 0; k < n; ++k)
            if (static_cast<double>(p[k * stride]) > best) {
                best = static_cast<double>(p[k * stride]);
                at = k;
            }
        return at;
    });
}

}  // namespace mlx

#endif
