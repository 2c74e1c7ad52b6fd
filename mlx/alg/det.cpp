#include "mlx/alg/det.hpp"

#include "mlx/alg/plu.hpp"

namespace mlx {

double det(const matrix<double>& A) {
    const plu lu(A);
    double d = 1.0;
    for (std::size_t i = 0; i < lu.order(); ++i) d *= lu.factor()(i, i);
    for (std::size_t i = 0; i < lu.order(); ++i)
        if (lu.pivot(i) != i + 1) d = -d;
    return d;
}

}  // namespace mlx
