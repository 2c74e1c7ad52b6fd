#include "mlx/alg/nullvector.hpp"

#include <gtest/gtest.h>

#include "mlx/alg/zerosolve.hpp"
#include "mlx/tool/exception.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

namespace {

double norm(const matrix<double>& x) {
    double s = 0.0;
    for (double v : x) s += v * v;
    return std::sqrt(s);
}

}  // namespace

// The homography relies on the QR's null vector being the SVD's, up to sign, for full row rank.
TEST(Nullvector, FullRowRankGivesTheDirectionOfZerosolve) {
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        const matrix<double> A = random_matrix(8, 9, seed);
        const matrix<double> x = mlx::nullvector(A);
        const matrix<double> z = mlx::zerosolve(A);
        const double sign = x(8) * z(8) > 0 ? 1.0 : -1.0;
        for (std::size_t k = 0; k < 9; ++k) EXPECT_NEAR(x(k), sign * z(k), kTight) << seed << " " << k;
        EXPECT_NEAR(norm(x), 1.0, kTight);
    }
}

TEST(Nullvector, RankDeficientAndLargeWideMatricesStillMapItToZero) {
    matrix<double> A = random_matrix(8, 9, 4);
    for (std::size_t j = 0; j < 9; ++j) A(7, j) = 2.0 * A(3, j);  // a null space of dimension 2
    const matrix<double> B = random_matrix(20, 30, 5);              // beyond the fixed storage
    for (const matrix<double>* M : {static_cast<const matrix<double>*>(&A), &B}) {
        const matrix<double> x = mlx::nullvector(*M);
        EXPECT_LT(max_diff(naive_product(*M, x), matrix<double>(M->rows(), 1)), kTight);
        EXPECT_NEAR(norm(x), 1.0, kTight);
    }
}

TEST(Nullvector, NeedsFewerRowsThanColumns) {
    EXPECT_THROW(mlx::nullvector(random_matrix(3, 3, 6)), mlx::tool::generalException);
    EXPECT_THROW(mlx::nullvector(matrix<double>()), mlx::tool::generalException);
}
