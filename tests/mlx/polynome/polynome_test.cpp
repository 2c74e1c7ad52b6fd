#include "mlx/polynome/polynome.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "mlx/array/generate.hpp"
#include "mlx/polynome/roots.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"

using namespace mlx;
using namespace mlx::polynomes;

namespace {

constexpr double kTight = 1e-12;
constexpr double kLoose = 1e-8;

polynome poly(std::initializer_list<double> c) { return polynome(matrix<double>{c}); }

void expect_near(const polynome& p, const matrix<double>& expected, double tol) {
    ASSERT_EQ(p.coefficients().size(), expected.size());
    for (std::size_t k = 0; k < p.size(); ++k) EXPECT_NEAR(p(k), expected(k), tol) << "coefficient " << k;
}

void expect_relatively_near(const polynome& p, const matrix<double>& expected, double tol) {
    ASSERT_EQ(p.coefficients().size(), expected.size());
    for (std::size_t k = 0; k < p.size(); ++k)
        EXPECT_NEAR(p(k), expected(k), tol * std::abs(expected(k))) << "coefficient " << k;
}

}  // namespace

TEST(Polynome, KeepsCoefficientsAsARowHighestDegreeFirst) {
    const polynome p(matrix<double>{{3}, {0}, {-1}});
    EXPECT_TRUE(isequal(p.coefficients(), matrix<double>{{3, 0, -1}}));
    EXPECT_EQ(polynome(matrix<double>()).size(), 0u);
}

TEST(Polynome, FromRootsMultipliesOutTheLinearFactors) {
    EXPECT_TRUE(isequal(polynome::fromRoots(matrix<double>{{1, 2}}).coefficients(), matrix<double>{{1, -3, 2}}));
    EXPECT_TRUE(isequal(polynome::fromRoots(matrix<double>{{1}, {2}, {3}, {4}, {5}}).coefficients(),
                        matrix<double>{{1, -15, 85, -225, 274, -120}}));
    EXPECT_TRUE(isequal(polynome::fromRoots(matrix<double>()).coefficients(), matrix<double>{{1}}));
}

TEST(Polynome, ProductsAreConvolutions) {
    EXPECT_TRUE(isequal((poly({1, 1}) * poly({1, -1})).coefficients(), matrix<double>{{1, 0, -1}}));
    EXPECT_TRUE(isequal((poly({2, 0, 1}) * poly({3, -1})).coefficients(), matrix<double>{{6, -2, 3, -1}}));
    // Multiplying by x appends a zero constant term.
    EXPECT_TRUE(isequal((poly({4, 5}) * poly({1, 0})).coefficients(), matrix<double>{{4, 5, 0}}));
    EXPECT_EQ((poly({1, 2}) * polynome()).size(), 0u);
}

TEST(Polynome, SumsAlignConstantTermsAndKeepCancelledLeadingTerms) {
    EXPECT_TRUE(isequal((poly({1, 2, 3}) + poly({4, 5})).coefficients(), matrix<double>{{1, 6, 8}}));
    EXPECT_TRUE(isequal((poly({4, 5}) - poly({1, 2, 3})).coefficients(), matrix<double>{{-1, 2, 2}}));
    EXPECT_TRUE(isequal((poly({8, 1}) - poly({8, 3})).coefficients(), matrix<double>{{0, -2}}));
    EXPECT_TRUE(isequal((2.0 * poly({1, -0.5}) * 3.0).coefficients(), matrix<double>{{6, -3}}));
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

TEST(Polynome, CharacteristicPolynomialOfLargeEigenvaluesHasThemAsRoots) {
    // Upper triangular, so its eigenvalues are its diagonal 100, 200, ..., 500.
    matrix<double> A(5, 5);
    for (std::size_t j = 0; j < 5; ++j)
        for (std::size_t i = 0; i <= j; ++i) A(i, j) = i == j ? 100.0 * static_cast<double>(j + 1) : 37.0;
    const polynome p = polynome::characteristic(A);
    expect_relatively_near(p, polynome::fromRoots(diag(A)).coefficients(), kLoose);
    std::vector<double> found;
    for (const auto& z : roots(p)) found.push_back(z.real());
    std::sort(found.begin(), found.end());
    for (std::size_t k = 0; k < 5; ++k) EXPECT_NEAR(found[k], A(k, k), 1e-6);
}

TEST(Polynome, StationaryPolynomialOfTheRvmCancelsItsLeadingTerm) {
    // The alpha equation of sparse Bayesian learning with 8 outputs:
    // 8 Pi^2 - x (Pi A + B), whose x^16 terms cancel exactly.
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> factor(0.1, 2.0);
    matrix<double> s(1, 8);
    matrix<double> q(1, 8);
    for (double& v : s) v = factor(gen);
    for (double& v : q) v = 3.0 * factor(gen);

    polynome A;
    polynome B;
    for (std::size_t p = 0; p < 8; ++p) {
        matrix<double> others(1, 7);
        for (std::size_t r = 0, k = 0; r < 8; ++r)
            if (r != p) others(k++) = -s(r);
        const polynome partial = polynome::fromRoots(others);
        A += partial;
        B += q(p) * q(p) * (partial * partial);
    }
    const polynome pi = polynome::fromRoots(-s);
    const polynome stationary = 8.0 * (pi * pi) - ((B + pi * A) * poly({1, 0}));
    ASSERT_EQ(stationary.size(), 17u);
    EXPECT_EQ(stationary(0), 0.0);

    const matrix<std::complex<double>> r = roots(stationary);
    ASSERT_EQ(r.numel(), 15u);
    // Every positive real root is a stationary point of sum_p ln x - ln(x + s_p) + q_p^2 / (x + s_p).
    for (const auto& z : r) {
        if (z.imag() != 0.0 || z.real() <= 0.0) continue;
        const double x = z.real();
        double slope = 0.0;
        double size = 0.0;
        for (std::size_t p = 0; p < 8; ++p) {
            const double terms[] = {1 / x, -1 / (x + s(p)), -q(p) * q(p) / ((x + s(p)) * (x + s(p)))};
            for (double t : terms) {
                slope += t;
                size += std::abs(t);
            }
        }
        EXPECT_LT(std::abs(slope), kLoose * size) << "root " << x;
    }
}
