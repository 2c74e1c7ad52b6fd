#include "mlx/alg/zerosolve.hpp"

#include "mlx/alg/svd.hpp"

namespace mlx {

namespace {
// dgesvd job "A" (full U and V^T). Only V^T is read, so a later change to jobu "N",
// jobvt "A" is made here and nowhere else.
constexpr char kJob = 'A';
}  // namespace

matrix<double> zerosolve(const matrix<double>& A) {
    if (A.empty()) return {};
    const svd d(A, kJob);
    const std::size_t n = A.cols();
    matrix<double> x(n, 1);
    for (std::size_t j = 0; j < n; ++j) x(j) = d.Vt()(n - 1, j);
    return x;
}

}  // namespace mlx
