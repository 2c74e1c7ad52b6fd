#include "mlx/alg/product.hpp"

#include "mlx/alg/lapack.hpp"

namespace mlx::detail {

void gemm_product(char transa, char transb, std::size_t m, std::size_t n, std::size_t k,
                  const double* a, std::size_t lda, const double* b, std::size_t ldb, double* out) {
    alg::lapack::gemm(transa, transb, m, n, k, a, lda, b, ldb, out, m);
}

void product_mismatch(const char* form, shape a, shape b) {
    XPR_RAISE(tool::checker::SizeMismatch << ": " << form << " with A " << a << " and B " << b);
}

}  // namespace mlx::detail
