#ifndef MLX_ALG_PRODUCT_HPP
#define MLX_ALG_PRODUCT_HPP

// Matrix products on BLAS dgemm: A*B ("N","N"), prodtMM = A^T*B ("T","N"),
// prodMtM = A*B^T ("N","T"), alpha 1 and beta 0. Each comes in two forms: returning a new
// dynamic matrix, or prod/prodtMM/prodMtM(A, B, out) writing into the caller's `out`, which
// allocates nothing when out's capacity suffices (a fixed matrix never allocates); when `out` is
// A or B the product is formed aside first. Non-conformable operands raise a SizeMismatch report.

#include <algorithm>
#include <cstddef>

#include "mlx/array/matrix.hpp"
#include "mlx/tool/exception.hpp"

namespace mlx {

namespace detail {

// out (m x n, column-major, leading dimension m) = op(A) * op(B), k the inner dimension; every
// size positive. Defined in product.cpp on top of the LAPACK layer.
void gemm_product(char transa, char transb, std::size_t m, std::size_t n, std::size_t k,
                  const double* a, std::size_t lda, const double* b, std::size_t ldb, double* out);

[[noreturn]] void product_mismatch(const char* form, shape a, shape b);

// The common path: shape out as m x n; an operand without elements gives all zeros, no BLAS.
template <std::size_t C1, std::size_t C2, std::size_t C>
void product_into(char ta, char tb, const matrix<double, C1>& A, const matrix<double, C2>& B,
                  matrix<double, C>& out) {
    if (static_cast<const void*>(&out) == &A || static_cast<const void*>(&out) == &B) {
        matrix<double, C> result;  // out is an operand: compute aside (fixed storage stays put)
        product_into(ta, tb, A, B, result);
        out = std::move(result);
        return;
    }
    const std::size_t m = ta == 'N' ? A.rows() : A.cols();
    const std::size_t ka = ta == 'N' ? A.cols() : A.rows();
    const std::size_t kb = tb == 'N' ? B.rows() : B.cols();
    const std::size_t n = tb == 'N' ? B.cols() : B.rows();
    if (A.empty() || B.empty()) {
        out.resize(m, n);
        out.fill(0.0);
        return;
    }
    if (ka != kb)
        product_mismatch(ta == 'N' ? (tb == 'N' ? "A*B" : "A*B'") : "A'*B", A.size(), B.size());
    out.resize(m, n);
    gemm_product(ta, tb, m, n, ka, A.data(), A.rows(), B.data(), B.rows(), out.data());
}

// s * M element by element into out (the one-element rule of A*B).
template <std::size_t C1, std::size_t C>
void scale_into(double s, const matrix<double, C1>& M, matrix<double, C>& out) {
    out.resize(M.rows(), M.cols());
    std::transform(M.begin(), M.end(), out.begin(), [s](double v) { return s * v; });
}

}  // namespace detail

// out = A*B: an empty operand gives the all-zero A.rows() x B.cols() result and a one-element
// operand gives that number times the other operand, both without BLAS; else dgemm "N","N".
template <std::size_t C1, std::size_t C2, std::size_t C>
void prod(const matrix<double, C1>& A, const matrix<double, C2>& B, matrix<double, C>& out) {
    if (!A.empty() && !B.empty()) {
        if (A.numel() == 1) return detail::scale_into(A(0), B, out);
        if (B.numel() == 1) return detail::scale_into(B(0), A, out);
    }
    detail::product_into('N', 'N', A, B, out);
}

template <std::size_t C1, std::size_t C2>
matrix<double> operator*(const matrix<double, C1>& A, const matrix<double, C2>& B) {
    matrix<double> out;
    prod(A, B, out);
    return out;
}

// out = A^T * B (A k x m, B k x n, out m x n) by dgemm "T","N"; an empty operand gives zeros.
template <std::size_t C1, std::size_t C2, std::size_t C>
void prodtMM(const matrix<double, C1>& A, const matrix<double, C2>& B, matrix<double, C>& out) {
    detail::product_into('T', 'N', A, B, out);
}

template <std::size_t C1, std::size_t C2>
matrix<double> prodtMM(const matrix<double, C1>& A, const matrix<double, C2>& B) {
    matrix<double> out;
    prodtMM(A, B, out);
    return out;
}

// out = A * B^T (A m x k, B n x k, out m x n) by dgemm "N","T"; an empty operand gives zeros.
template <std::size_t C1, std::size_t C2, std::size_t C>
void prodMtM(const matrix<double, C1>& A, const matrix<double, C2>& B, matrix<double, C>& out) {
    detail::product_into('N', 'T', A, B, out);
}

template <std::size_t C1, std::size_t C2>
matrix<double> prodMtM(const matrix<double, C1>& A, const matrix<double, C2>& B) {
    matrix<double> out;
    prodMtM(A, B, out);
    return out;
}

}  // namespace mlx

#endif
