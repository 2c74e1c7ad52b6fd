#include "mlx/alg/product.hpp"

#include "mlx/alg/lapack.hpp"

namespace mlx::detail {

void gemm_product(char transa, char transb, std::size_t m, std::size_t n, std::size_t k,
                  const double* a, std::size_t lda, const double* b, std::size_t ldb, double* out) {
    // A product with a vector side is a matrix-vector product: dgemv skips the packing of dgemm,
    // which costs several times the arithmetic at the sizes of a tracking step. A vector operand
    // is contiguous in either orientation.
    if (m == 1)
        alg::lapack::gemv(transb == 'N' ? 'T' : 'N', transb == 'N' ? k : n, transb == 'N' ? n : k, b, ldb, a, 1, out, 1);
    else if (n == 1)
        alg::lapack::gemv(transa, transa == 'N' ? m : k, transa == 'N' ? k : m, a, lda, b, 1, out, 1);
    else
        alg::lapack::gemm(transa, transb, m, n, k, a, lda, b, ldb, out, m);
}

void product_mismatch(const char* form, shape a, shape b) {
    XPR_RAISE(tool::checker::SizeMismatch << ": " << form << " with A " << a << " and B " << b);
}

}  // namespace mlx::detail
