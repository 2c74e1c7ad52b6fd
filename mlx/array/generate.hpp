#ifndef MLX_ARRAY_GENERATE_HPP
#define MLX_ARRAY_GENERATE_HPP

// Matrices built from nothing or rearranged from others: constants, identity, sequences,
// reshapes, transposes, tilings, concatenations, flips and diagonals.

#include <limits>

#include "mlx/array/matrix.hpp"

namespace mlx {

template <class T = double>
matrix<T> zeros(std::size_t r, std::size_t c) { return matrix<T>(r, c); }

template <class T = double>
matrix<T> ones(std::size_t r, std::size_t c) { return matrix<T>(r, c).fill(T(1)); }

// r x c matrix of +infinity.
template <class T = double>
matrix<T> infs(std::size_t r, std::size_t c) { return matrix<T>(r, c).fill(std::numeric_limits<T>::infinity()); }

// n x n identity.
template <class T = double>
matrix<T> eye(std::size_t n) {
    matrix<T> out(n, n);
    for (std::size_t i = 0; i < n; ++i) out(i, i) = T(1);
    return out;
}

// The row a, a + 1, ..., b; empty when b < a.
template <class T = int>
matrix<T> iota(T a, T b) {
    if (b < a) return {};
    matrix<T> out(1, static_cast<std::size_t>(b - a) + 1);
    for (std::size_t k = 0; k < out.numel(); ++k) out(k) = static_cast<T>(a + static_cast<T>(k));
    return out;
}

// 1 x n row of n equally spaced values from a to b inclusive.
inline matrix<double> linspace(double a, double b, std::size_t n) {
    matrix<double> out(1, n);
    for (std::size_t k = 0; k < n; ++k)
        out(k) = n == 1 ? b : a + (b - a) * static_cast<double>(k) / static_cast<double>(n - 1);
    return out;
}

// The elements of m in storage order under the shape r x c, which must hold as many elements.
template <class T, std::size_t C>
matrix<T, C> reshape(const matrix<T, C>& m, std::size_t r, std::size_t c) {
    if (r * c != m.numel())
        MLX_RAISE("Numel of te reshape target: " << r * c << " is not equal to source numel: " << m.numel());
    matrix<T, C> shaped(r, c);
    std::copy(m.begin(), m.end(), shaped.begin());
    return shaped;
}

// Element (i, j) moved to (j, i).
template <class T, std::size_t C>
matrix<T, C> trans(const matrix<T, C>& m) {
    matrix<T, C> out(m.cols(), m.rows());
    for (std::size_t j = 0; j < m.cols(); ++j)
        for (std::size_t i = 0; i < m.rows(); ++i) out(j, i) = m(i, j);
    return out;
}

// m tiled a times vertically and b times horizontally.
template <class T, std::size_t C>
matrix<T> repmat(const matrix<T, C>& m, std::size_t a, std::size_t b) {
    matrix<T> out(m.rows() * a, m.cols() * b);
    for (std::size_t j = 0; j < out.cols(); ++j)
        for (std::size_t i = 0; i < out.rows(); ++i) out(i, j) = m(i % m.rows(), j % m.cols());
    return out;
}

// a and b one under the other (dim 1) or side by side (dim 2); the other dimension must agree.
// An empty operand contributes nothing.
template <class T, std::size_t C1, std::size_t C2>
matrix<T> cat(unsigned dim, const matrix<T, C1>& a, const matrix<T, C2>& b) {
    if (dim != 1 && dim != 2) MLX_RAISE(tool::checker::BadDimensions << ": cat along dimension " << dim);
    if (a.empty()) return matrix<T>(b);
    if (b.empty()) return matrix<T>(a);
    const bool vertical = dim == 1;
    if ((vertical ? a.cols() != b.cols() : a.rows() != b.rows()))
        XPR_RAISE(tool::checker::SizeMismatch << ": cat(" << dim << ") of " << a.size() << " and " << b.size());
    matrix<T> out(vertical ? a.rows() + b.rows() : a.rows(), vertical ? a.cols() : a.cols() + b.cols());
    for (std::size_t j = 0; j < out.cols(); ++j)
        for (std::size_t i = 0; i < out.rows(); ++i) {
            const bool in_a = vertical ? i < a.rows() : j < a.cols();
            out(i, j) = in_a ? a(i, j) : (vertical ? b(i - a.rows(), j) : b(i, j - a.cols()));
        }
    return out;
}

template <class T, std::size_t C>
matrix<T, C> fliplr(const matrix<T, C>& m) {
    matrix<T, C> out(m.rows(), m.cols());
    for (std::size_t j = 0; j < m.cols(); ++j)
        for (std::size_t i = 0; i < m.rows(); ++i) out(i, j) = m(i, m.cols() - 1 - j);
    return out;
}

template <class T, std::size_t C>
matrix<T, C> flipud(const matrix<T, C>& m) {
    matrix<T, C> out(m.rows(), m.cols());
    for (std::size_t j = 0; j < m.cols(); ++j)
        for (std::size_t i = 0; i < m.rows(); ++i) out(i, j) = m(m.rows() - 1 - i, j);
    return out;
}

// Of a vector: the square matrix with it on its diagonal. Of a matrix: the column of its diagonal.
template <class T, std::size_t C>
matrix<T> diag(const matrix<T, C>& m) {
    if (m.rows() == 1 || m.cols() == 1) {
        matrix<T> out(m.numel(), m.numel());
        for (std::size_t k = 0; k < m.numel(); ++k) out(k, k) = m(k);
        return out;
    }
    matrix<T> out(std::min(m.rows(), m.cols()), 1);
    for (std::size_t k = 0; k < out.numel(); ++k) out(k) = m(k, k);
    return out;
}

}  // namespace mlx

#endif
