#include "mlx/alg/svd.hpp"

#include <gtest/gtest.h>

#include "mlx/alg/product.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

namespace {

// U * diag(S) * Vt with U m x k and Vt k x n taken from the first k columns / rows.
matrix<double> rebuild(const mlx::svd& d, std::size_t m, std::size_t n) {
    const std::size_t k = d.S().numel();
    matrix<double> out(m, n);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t l = 0; l < k; ++l) out(i, j) += d.U()(i, l) * d.S()(l) * d.Vt()(l, j);
    return out;
}

}  // namespace

// Both methods; divide and conquer splits only problems of more than 25 columns.
TEST(Svd, FullJobGivesOrthogonalFactorsThatRebuildTheMatrix) {
    using method = mlx::svd::method;
    for (auto [m, n] : {std::pair<std::size_t, std::size_t>{6, 4}, {4, 6}, {5, 5}, {60, 40}, {40, 60}}) {
        for (method how : {method::qr_iteration, method::divide_and_conquer}) {
            const matrix<double> A = random_matrix(m, n, 50 + m);
            const mlx::svd d(A, 'A', how);
            ASSERT_EQ(d.U().size(), (mlx::shape{m, m}));
            ASSERT_EQ(d.Vt().size(), (mlx::shape{n, n}));
            EXPECT_LT(max_diff(mlx::prodtMM(d.U(), d.U()), mlx::eye(m)), kTight);
            EXPECT_LT(max_diff(mlx::prodMtM(d.Vt(), d.Vt()), mlx::eye(n)), kTight);
            EXPECT_LT(max_diff(rebuild(d, m, n), A), kTight);
            for (std::size_t i = 1; i < d.S().numel(); ++i) EXPECT_GE(d.S()(i - 1), d.S()(i));
        }
    }
}

TEST(Svd, ThinJobGivesTheLeadingVectorsOnly) {
    const matrix<double> A = random_matrix(7, 3, 60);
    const mlx::svd thin(A, 'S');
    const mlx::svd full(A, 'A');
    EXPECT_EQ(thin.U().size(), (mlx::shape{7, 3}));
    EXPECT_EQ(thin.Vt().size(), (mlx::shape{3, 3}));
    EXPECT_LT(max_diff(thin.S(), full.S()), kTight);
    EXPECT_LT(max_diff(rebuild(thin, 7, 3), A), kTight);
}

