#include "mlx/alg/nullvector.hpp"
#include "mlx/alg/zerosolve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "mlx/tool/exception.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Nullvector, RankDeficientAndLargeWideMatricesMapItToZeroAndSquareOrEmptyOnesAreRefused) {
    matrix<double> A = random_matrix(8, 9, 4);
    for (std::size_t j = 0; j < 9; ++j) A(7, j) = 2.0 * A(3, j);  // a null space of dimension 2
    const matrix<double> B = random_matrix(20, 30, 5);              // beyond the fixed storage
    for (const matrix<double>* M : {static_cast<const matrix<double>*>(&A), &B}) {
        const matrix<double> x = mlx::nullvector(*M);
        EXPECT_LT(max_diff(naive_product(*M, x), matrix<double>(M->rows(), 1)), kTight);
        EXPECT_NEAR(mlx::globalNorm_eucl(x), 1.0, kTight);
    }
    EXPECT_THROW(mlx::nullvector(random_matrix(3, 3, 6)), mlx::tool::generalException);
    EXPECT_THROW(mlx::nullvector(matrix<double>()), mlx::tool::generalException);
}

TEST(Zerosolve, KnownNullVectorIsFound) {
    // Rows orthogonal to v = (1, 2, 2) / 3.
    const matrix<double> x = mlx::zerosolve(matrix<double>{{2, -1, 0}, {0, 1, -1}, {2, 0, -1}});
    EXPECT_LT(max_diff(matrix<double>(x * (x(0) > 0 ? 3.0 : -3.0)), matrix<double>{{1}, {2}, {2}}), kTight);
    // LAPACK need not return on a NaN: refused first.
    EXPECT_NE(report_of([] { mlx::zerosolve(matrix<double>{{2, NAN, 0}, {0, 1, -1}}); })
                  .find("zerosolve: the 2 x 3 system has an element that is not finite"),
              std::string::npos);
}
