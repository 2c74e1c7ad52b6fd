#include "mlx/polynome/roots.hpp"
#include "mlx/polynome/companion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "../alg/testing.hpp"

using namespace mlx;
using namespace mlx::polynomes;
using mlx::testing::kLoose;
using mlx::testing::kTight;

namespace {

using cplx = std::complex<double>;

// The roots of p match the expected set (sorted by real, then imaginary part) within tol, and
// multiplied out in complex arithmetic they give p / p(0) within rebuilt, relative to its largest
// coefficient, with vanishing imaginary parts.
void expect_roots(const matrix<double>& p, std::vector<cplx> expected, double tol, double rebuilt) {
    const matrix<cplx> r = roots(p);
    std::vector<cplx> got(r.begin(), r.end()), c{1.0};
    const auto order = [](cplx a, cplx b) { return a.real() != b.real() ? a.real() < b.real() : a.imag() < b.imag(); };
    std::sort(got.begin(), got.end(), order);
    std::sort(expected.begin(), expected.end(), order);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_LT(std::abs(got[k] - expected[k]), tol) << "root " << k;
    for (const cplx& root : r) {
        c.push_back(0.0);
        for (std::size_t k = c.size() - 1; k > 0; --k) c[k] -= root * c[k - 1];
    }
    double scale = 0.0;
    for (double v : p) scale = std::max(scale, std::abs(v / p(0)));
    for (std::size_t k = 0; k < c.size(); ++k) EXPECT_LT(std::abs(c[k] - p(k) / p(0)), rebuilt * scale) << "coefficient " << k;
}

}  // namespace

TEST(Roots, FindsKnownRealComplexAndRepeatedRoots) {
    const matrix<double> five{{1, -15, 85, -225, 274, -120}};
    expect_roots(five, {1, 2, 3, 4, 5}, kLoose, kTight);
    for (const cplx& root : roots(five)) EXPECT_EQ(root.imag(), 0.0);
    // (x^2 + 2x + 5)(x - 3)(2x + 1)
    expect_roots(matrix<double>{{2, -1, -3, -31, -15}}, {{-1, -2}, {-1, 2}, {-0.5, 0}, {3, 0}}, kLoose, kTight);
    // x^3 - 1 puts the unshifted QR iteration into a cycle that only the exceptional shift breaks.
    const double h = std::sqrt(3.0) / 2;
    expect_roots(matrix<double>{{1, 0, 0, -1}}, {{-0.5, -h}, {-0.5, h}, {1, 0}}, kLoose, kLoose);
    // (x - 1)^3 (x + 2)^2: the triple root is only found to about eps^(1/3).
    expect_roots(matrix<double>{{1, 1, -5, -1, 8, -4}}, {-2, -2, 1, 1, 1}, 1e-4, kLoose);
    // 1e300 / 1e-300 overflows in the last column of the companion; balancing must not loop on it.
    EXPECT_EQ(roots(matrix<double>{{1e-300, 1, 1e300, 1}}).numel(), 3u);
}

TEST(Roots, DropLeadingZerosAndTurnTrailingZerosIntoExactZeroRoots) {
    EXPECT_TRUE(isequal(roots(matrix<double>{{0, 0, 1, -3, 2}}), roots(matrix<double>{{1, -3, 2}})));
    EXPECT_TRUE(isequal(roots(matrix<double>{{1}, {-3}, {2}}), roots(matrix<double>{{1, -3, 2}})));
    const matrix<cplx> r = roots(matrix<double>{{0, 1, -3, 2, 0, 0}});
    EXPECT_TRUE(isequal(r, matrix<cplx>{{cplx(1, 0)}, {cplx(2, 0)}, {cplx(0, 0)}, {cplx(0, 0)}}));
    EXPECT_TRUE(isequal(roots(matrix<double>{{0, 4, 0}}), matrix<cplx>{{cplx(0, 0)}}));
    // Constant and zero polynomials have none.
    EXPECT_TRUE(roots(matrix<double>{{5}}).empty());
    EXPECT_TRUE(roots(matrix<double>{{0, 0, 7}}).empty());
    EXPECT_TRUE(roots(matrix<double>{{0, 0, 0}}).empty());
    EXPECT_TRUE(roots(matrix<double>()).empty());
}

TEST(Companion, BalancingLeavesABalancedMatrixAndQrReportsNonConvergence) {
    matrix<double> A = compan(matrix<double>{{1, -3, 2}});
    const matrix<double> before = A;
    EXPECT_TRUE(balance_companion(A));
    EXPECT_TRUE(isequal(A, before));
    matrix<double> B = compan(matrix<double>{{1, 2, std::nan(""), 4}});
    EXPECT_EQ(mlx::testing::report_of([&] { qr_companion(B); }),
              "<MLX Error>\nIn file mlx/polynome/companion.cpp at line #\nprocess not converging after 160 iterations");
}
