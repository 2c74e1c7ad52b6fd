#include "mlx/polynome/polynome.hpp"

#include <gtest/gtest.h>

#include "../alg/testing.hpp"

using namespace mlx;
using namespace mlx::polynomes;
using mlx::testing::kLoose;
using mlx::testing::kTight;

namespace {

void expect_near(const polynome& p, const matrix<double>& expected, double tol) {
    ASSERT_EQ(p.coefficients().size(), expected.size());
    for (std::size_t k = 0; k < p.size(); ++k) EXPECT_NEAR(p(k), expected(k), tol) << "coefficient " << k;
}

}  // namespace

TEST(Polynome, FromRootsMultipliesOutTheLinearFactors) {
    EXPECT_TRUE(isequal(polynome::fromRoots(matrix<double>{{1, 2}}).coefficients(), matrix<double>{{1, -3, 2}}));
    EXPECT_TRUE(isequal(polynome::fromRoots(matrix<double>{{1}, {2}, {3}, {4}, {5}}).coefficients(),
                        matrix<double>{{1, -15, 85, -225, 274, -120}}));
    EXPECT_TRUE(isequal(polynome::fromRoots(matrix<double>()).coefficients(), matrix<double>{{1}}));
}

TEST(Polynome, CharacteristicPolynomialOfKnownMatrices) {
    expect_near(polynome::characteristic(matrix<double>{{2, 1}, {1, 2}}), matrix<double>{{1, -4, 3}}, kTight);
    // x^3 - trace x^2 + (sum of principal 2 x 2 minors) x - det.
    const matrix<double> A{{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
    expect_near(polynome::characteristic(A), matrix<double>{{1, -16, -12, 3}}, kLoose);
    expect_near(polynome::characteristic(matrix<double>{{-7.5}}), matrix<double>{{1, 7.5}}, kTight);
    EXPECT_TRUE(isequal(polynome::characteristic(matrix<double>()).coefficients(), matrix<double>{{1}}));
    EXPECT_THROW(polynome::characteristic(matrix<double>(2, 3)), tool::generalException);
}
