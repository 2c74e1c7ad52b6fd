#include "mlx/alg/svd.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

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

// Both methods, full and thin jobs; divide and conquer splits only problems of more than 25 columns.
TEST(Svd, GivesOrthonormalFactorsOfTheJobsSizesThatRebuildTheMatrix) {
    using method = mlx::svd::method;
    for (auto [m, n] : {std::pair<std::size_t, std::size_t>{6, 4}, {4, 6}, {5, 5}, {60, 40}, {40, 60}}) {
        for (method how : {method::qr_iteration, method::divide_and_conquer})
            for (char job : {'A', 'S'}) {
                const matrix<double> A = random_matrix(m, n, 50 + m);
                const mlx::svd d(A, job, how);
                const std::size_t u = job == 'A' ? m : std::min(m, n), v = job == 'A' ? n : std::min(m, n);
                ASSERT_EQ(d.U().size(), (mlx::shape{m, u}));
                ASSERT_EQ(d.Vt().size(), (mlx::shape{v, n}));
                EXPECT_LT(max_diff(mlx::prodtMM(d.U(), d.U()), mlx::eye(u)), kTight);
                EXPECT_LT(max_diff(mlx::prodMtM(d.Vt(), d.Vt()), mlx::eye(v)), kTight);
                EXPECT_LT(max_diff(rebuild(d, m, n), A), kTight);
                for (std::size_t i = 1; i < d.S().numel(); ++i) EXPECT_GE(d.S()(i - 1), d.S()(i));
            }
    }
}

// A NaN or an infinity is refused before LAPACK sees it: its iterations need not end.
TEST(Svd, RefusesAMatrixWithANonFiniteElement) {
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        matrix<double> A = random_matrix(3, 3, 5);
        A(1, 2) = bad;
        for (const auto how : {mlx::svd::method::qr_iteration, mlx::svd::method::divide_and_conquer})
            EXPECT_NE(report_of([&] { mlx::svd(A, 'S', how); }).find("svd: the 3 x 3 matrix has an element that is not finite"),
                      std::string::npos);
    }
}
