#ifndef MLX_XPR_ELEMENTWISE_HPP
#define MLX_XPR_ELEMENTWISE_HPP

// Element-wise arithmetic, functions and comparisons. Two matrix operands must have the same
// shape (else a SizeMismatch report); a plain value applies to every element. Results of two
// operands of one fixed capacity keep that capacity, so small fixed shapes never allocate.

#include <cmath>
#include <complex>
#include <functional>
#include <type_traits>

#include "mlx/array/matrix.hpp"

namespace mlx {

namespace detail {

template <class T>
struct is_matrix : std::false_type {};
template <class T, std::size_t C>
struct is_matrix<matrix<T, C>> : std::true_type {};

template <std::size_t C1, std::size_t C2>
inline constexpr std::size_t common_capacity = C1 == C2 ? C1 : dynamic;

template <class T>
struct real_of {
    using type = T;
};
template <class T>
struct real_of<std::complex<T>> {
    using type = T;
};

template <class T, std::size_t C1, class U, std::size_t C2>
void require_same_shape(const matrix<T, C1>& a, const matrix<U, C2>& b) {
    if (a.size() != b.size())
        XPR_RAISE(tool::checker::SizeMismatch << ": operands of shapes " << a.size() << " and " << b.size());
}

}  // namespace detail

// f applied to every element of a, in a matrix of the same shape and capacity.
template <class F, class T, std::size_t C>
auto map(const matrix<T, C>& a, F f) {
    using R = std::decay_t<std::invoke_result_t<F, const T&>>;
    matrix<R, C> out(a.rows(), a.cols());
    std::transform(a.begin(), a.end(), out.begin(), f);
    return out;
}

// f applied to the pairs of elements of two matrices of the same shape.
template <class F, class T, std::size_t C1, class U, std::size_t C2>
auto zip(const matrix<T, C1>& a, const matrix<U, C2>& b, F f) {
    detail::require_same_shape(a, b);
    using R = std::decay_t<std::invoke_result_t<F, const T&, const U&>>;
    matrix<R, detail::common_capacity<C1, C2>> out(a.rows(), a.cols());
    std::transform(a.begin(), a.end(), b.begin(), out.begin(), f);
    return out;
}

#define MLX_ELEMENTWISE_BINARY(name, op)                                                      \
    template <class T, std::size_t C1, class U, std::size_t C2>                              \
    auto name(const matrix<T, C1>& a, const matrix<U, C2>& b) {                              \
        return zip(a, b, [](const T& x, const U& y) { return x op y; });                    \
    }                                                                                        \
    template <class T, std::size_t C, class S, std::enable_if_t<!detail::is_matrix<S>::value, int> = 0> \
    auto name(const matrix<T, C>& a, const S& s) {                                           \
        return map(a, [&s](const T& x) { return x op s; });                                  \
    }                                                                                        \
    template <class T, std::size_t C, class S, std::enable_if_t<!detail::is_matrix<S>::value, int> = 0> \
    auto name(const S& s, const matrix<T, C>& a) {                                           \
        return map(a, [&s](const T& x) { return s op x; });                                  \
    }

MLX_ELEMENTWISE_BINARY(operator+, +)
MLX_ELEMENTWISE_BINARY(operator-, -)
MLX_ELEMENTWISE_BINARY(times, *)
MLX_ELEMENTWISE_BINARY(rdivide, /)
MLX_ELEMENTWISE_BINARY(operator>, >)
MLX_ELEMENTWISE_BINARY(operator<, <)
MLX_ELEMENTWISE_BINARY(operator==, ==)
MLX_ELEMENTWISE_BINARY(operator!=, !=)
#undef MLX_ELEMENTWISE_BINARY

// A matrix times or divided by a value; the matrix product is in mlx/alg/product.hpp.
template <class T, std::size_t C, class S, std::enable_if_t<!detail::is_matrix<S>::value, int> = 0>
auto operator*(const matrix<T, C>& a, const S& s) { return times(a, s); }
template <class T, std::size_t C, class S, std::enable_if_t<!detail::is_matrix<S>::value, int> = 0>
auto operator*(const S& s, const matrix<T, C>& a) { return times(s, a); }
template <class T, std::size_t C, class S, std::enable_if_t<!detail::is_matrix<S>::value, int> = 0>
auto operator/(const matrix<T, C>& a, const S& s) { return rdivide(a, s); }

template <class T, std::size_t C, class U, std::size_t C2>
matrix<T, C>& operator+=(matrix<T, C>& a, const matrix<U, C2>& b) { return a = a + b; }
template <class T, std::size_t C, class U, std::size_t C2>
matrix<T, C>& operator-=(matrix<T, C>& a, const matrix<U, C2>& b) { return a = a - b; }

template <class T, std::size_t C>
matrix<T, C> operator-(const matrix<T, C>& a) { return map(a, std::negate<T>()); }

template <class T, std::size_t C>
matrix<T, C> sq(const matrix<T, C>& a) { return map(a, [](const T& x) { return x * x; }); }
template <class T, std::size_t C>
matrix<T, C> sqrt(const matrix<T, C>& a) { return map(a, [](const T& x) { return std::sqrt(x); }); }
template <class T, std::size_t C>
matrix<T, C> exp(const matrix<T, C>& a) { return map(a, [](const T& x) { return std::exp(x); }); }
template <class T, std::size_t C>
matrix<T, C> log(const matrix<T, C>& a) { return map(a, [](const T& x) { return std::log(x); }); }
template <class T, std::size_t C>
auto abs(const matrix<T, C>& a) { return map(a, [](const T& x) { return std::abs(x); }); }
template <class T, std::size_t C>
auto real(const matrix<T, C>& a) { return map(a, [](const T& x) { return std::real(x); }); }
template <class T, std::size_t C>
auto imag(const matrix<T, C>& a) { return map(a, [](const T& x) { return std::imag(x); }); }

// a where the condition holds, b elsewhere.
template <std::size_t CC, class T, std::size_t C1, std::size_t C2>
matrix<T, detail::common_capacity<C1, C2>> where(const matrix<bool, CC>& cond, const matrix<T, C1>& a,
                                                 const matrix<T, C2>& b) {
    detail::require_same_shape(cond, a);
    detail::require_same_shape(cond, b);
    matrix<T, detail::common_capacity<C1, C2>> out(a.rows(), a.cols());
    for (std::size_t k = 0; k < out.numel(); ++k) out(k) = cond(k) ? a(k) : b(k);
    return out;
}
template <std::size_t CC, class T, std::enable_if_t<!detail::is_matrix<T>::value, int> = 0>
matrix<T> where(const matrix<bool, CC>& cond, const T& a, const T& b) {
    matrix<T> out(cond.rows(), cond.cols());
    for (std::size_t k = 0; k < out.numel(); ++k) out(k) = cond(k) ? a : b;
    return out;
}

// True when both matrices have the same shape and equal elements.
template <class T, std::size_t C1, class U, std::size_t C2>
bool isequal(const matrix<T, C1>& a, const matrix<U, C2>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace mlx

#endif
