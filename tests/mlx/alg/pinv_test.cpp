#include "mlx/alg/pinv.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "mlx/alg/ridge.hpp"
#include "mlx/alg/svd.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/tool/exception.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

TEST(Eps, SpacingOfDoubles) {
    const double min = std::numeric_limits<double>::min();
    for (const auto& [x, spacing] : {std::pair{1.0, 0x1p-52}, {1.5, 0x1p-52}, {2.0, 0x1p-51}, {0.75, 0x1p-53},
                                     {-4.0, 0x1p-50}, {min, 0x1p-1074}, {min / 2, 0.0}, {0.0, 0.0}})
        EXPECT_EQ(mlx::eps(x), spacing) << x;
    EXPECT_TRUE(std::isnan(mlx::eps(NAN)));
    EXPECT_TRUE(std::isnan(mlx::eps(INFINITY)));
}

TEST(Pinv, RankDeficientMatrixSatisfiesTheFourMoorePenroseConditions) {
    // 6 x 4 of rank 2.
    const matrix<double> A = naive_product(random_matrix(6, 2, 70), random_matrix(2, 4, 71));
    const matrix<double> P = mlx::pinv(A);
    ASSERT_EQ(P.size(), (mlx::shape{4, 6}));
    const matrix<double> AP = naive_product(A, P);
    const matrix<double> PA = naive_product(P, A);
    EXPECT_LT(max_diff(naive_product(AP, A), A), kLoose);
    EXPECT_LT(max_diff(naive_product(PA, P), P), kLoose);
    EXPECT_LT(max_diff(AP, mlx::trans(AP)), kLoose);
    EXPECT_LT(max_diff(PA, mlx::trans(PA)), kLoose);
}

TEST(Pinv, SingularValueExactlyAtTheDefaultThresholdIsTreatedAsZero) {
    // diag(1, 2^-51): eps(1) = 2^-52 and max(m, n) = 2, so the threshold is exactly 2^-51.
    const matrix<double> A = {{1, 0}, {0, 0x1p-51}};
    const mlx::svd d(A, 'S');
    ASSERT_EQ(d.S()(1), 0x1p-51);  // dgesvd reproduces a diagonal exactly
    const matrix<double> expected = {{1, 0}, {0, 0}};
    EXPECT_TRUE(mlx::isequal(mlx::pinv(A), expected)) << mlx::pinv(A);
    // Just above the threshold it counts.
    const matrix<double> B = {{1, 0}, {0, 0x1p-51 * (1 + 0x1p-52)}};
    EXPECT_GT(mlx::pinv(B)(1, 1), 1e15);
}

TEST(Pinvprod, EqualsThePseudoInverseTimesTheRightHandSides) {
    const matrix<double> A = naive_product(random_matrix(30, 5, 72), random_matrix(5, 12, 73));  // rank 5
    const matrix<double> B = random_matrix(30, 8, 74);
    const matrix<double> direct = naive_product(mlx::pinv(A), B);
    const matrix<double> grouped = mlx::pinvprod(A, B);
    EXPECT_LT(max_diff(grouped, direct), kTight * max_diff(direct, matrix<double>(12, 8)));
    EXPECT_EQ(mlx::pinvprod(matrix<double>(), matrix<double>(0, 0)).size(), (mlx::shape{0, 0}));
}

// inv(A'A + lambda I): exactly symmetric, and the inverse for tall and wide A alike (a wide A
// leaves directions that only the weight reaches).
TEST(Ridgeinv, InvertsTheWeightedNormalMatrixOfTallAndWideMatrices) {
    for (const auto& [rows, cols] : {std::pair<std::size_t, std::size_t>{9, 5}, {4, 7}}) {
        const matrix<double> A = random_matrix(rows, cols, 80 + rows);
        const double lambda = 0.3;
        const matrix<double> H = mlx::ridgeinv(A, lambda);
        matrix<double> normal = naive_product(mlx::trans(A), A);
        for (std::size_t i = 0; i < cols; ++i) normal(i, i) += lambda;
        const matrix<double> identity = naive_product(H, normal);
        for (std::size_t i = 0; i < cols; ++i)
            for (std::size_t j = 0; j < cols; ++j) {
                EXPECT_EQ(H(i, j), H(j, i));
                EXPECT_NEAR(identity(i, j), i == j ? 1.0 : 0.0, 1e-12) << rows << " x " << cols;
            }
    }
    EXPECT_THROW(mlx::ridgeinv(random_matrix(3, 2, 1), -1.0), mlx::tool::generalException);
}

// The Cholesky route gives the SVD's regression and inverse, tall and wide, to eps / rcond (the
// inverse in place of the factor, which then solves and packs no more, or from the packed factor
// into room made for it, the same matrix); a Gram matrix that is not positive
// definite (a column A never reaches, no weight) reports rcond 0 and refuses.
TEST(Ridgefactor, GivesTheSvdRegressionAndInverseWhereTheGramMatrixIsWellConditioned) {
    for (const auto& [rows, cols] : {std::pair<std::size_t, std::size_t>{40, 12}, {6, 10}}) {
        const matrix<double> A = random_matrix(rows, cols, 90 + rows);
        const matrix<double> B = random_matrix(rows, 8, 91 + rows);
        mlx::ridgefactor f(A, 0.05, 1e-5);
        ASSERT_GT(f.rcond(), 1e-6);
        std::vector<double> packed(mlx::ridgefactor::packedSize(cols));
        f.pack(packed.data());
        matrix<double> fromPacked;
        fromPacked.reserve(cols * cols);
        const double* room = fromPacked.data();
        mlx::ridgefactor::invertPacked(packed.data(), cols, fromPacked);
        EXPECT_EQ(fromPacked.data(), room);
        const matrix<double> X = mlx::ridgeprod(A, B, 0.05);
        EXPECT_LT(max_diff(f.solve(A, B), X), 1e-12 / f.rcond() * max_diff(X, matrix<double>(cols, 8)));
        const matrix<double> H = f.inverse();
        EXPECT_TRUE(mlx::isequal(fromPacked, H));
        EXPECT_THROW(f.pack(packed.data()), mlx::tool::generalException);
        EXPECT_LT(max_diff(H, mlx::ridgeinv(A, 0.05)), 1e-12 / f.rcond() * max_diff(H, matrix<double>(cols, cols)));
        EXPECT_EQ(f.inverse().data(), f.inverse().data());
        EXPECT_THROW(f.solve(A, B), mlx::tool::generalException);
        for (std::size_t i = 0; i < cols; ++i)
            for (std::size_t j = 0; j < cols; ++j) EXPECT_EQ(H(i, j), H(j, i));
    }
    matrix<double> unreached = random_matrix(3, 5, 92);
    for (std::size_t i = 0; i < 3; ++i) unreached(i, 2) = 0.0;
    const mlx::ridgefactor singular(unreached, 0.0, 1e-5);
    EXPECT_EQ(singular.rcond(), 0.0);
    EXPECT_THROW(singular.solve(unreached, random_matrix(3, 2, 93)), mlx::tool::generalException);
    EXPECT_THROW(mlx::ridgefactor(random_matrix(3, 2, 1), -1.0, 1e-5), mlx::tool::generalException);
}
