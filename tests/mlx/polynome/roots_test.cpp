#include "mlx/polynome/roots.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "mlx/xpr/elementwise.hpp"

using namespace mlx;
using namespace mlx::polynomes;

namespace {

using cplx = std::complex<double>;
constexpr double kTight = 1e-12;
constexpr double kLoose = 1e-8;

// Coefficients of prod (x - r_k), highest degree first, multiplied out in complex arithmetic.
std::vector<cplx> rebuild(const matrix<cplx>& r) {
    std::vector<cplx> c{1.0};
    for (const cplx& root : r) {
        c.push_back(0.0);
        for (std::size_t k = c.size() - 1; k > 0; --k) c[k] -= root * c[k - 1];
    }
    return c;
}

// The rebuilt monic polynomial matches p / p(0) coefficient by coefficient, relative to the
// largest coefficient, with vanishing imaginary parts.
void expect_rebuilds(const matrix<double>& p, const matrix<cplx>& r, double tol) {
    const std::vector<cplx> c = rebuild(r);
    ASSERT_EQ(c.size(), p.numel());
    double scale = 0.0;
    for (double v : p) scale = std::max(scale, std::abs(v / p(0)));
    for (std::size_t k = 0; k < c.size(); ++k) {
        EXPECT_NEAR(c[k].real(), p(k) / p(0), tol * scale) << "coefficient " << k;
        EXPECT_NEAR(c[k].imag(), 0.0, tol * scale) << "coefficient " << k;
    }
}

// The roots sorted by real part, then imaginary part, for comparison with a known set.
std::vector<cplx> sorted(const matrix<cplx>& r) {
    std::vector<cplx> v(r.begin(), r.end());
    std::sort(v.begin(), v.end(), [](cplx a, cplx b) {
        return a.real() != b.real() ? a.real() < b.real() : a.imag() < b.imag();
    });
    return v;
}

void expect_roots(const matrix<cplx>& r, const std::vector<cplx>& expected, double tol) {
    const std::vector<cplx> got = sorted(r);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_LT(std::abs(got[k] - expected[k]), tol) << "root " << k;
}

}  // namespace

TEST(Roots, FindsKnownRealAndComplexRoots) {
    const matrix<double> five{{1, -15, 85, -225, 274, -120}};
    const matrix<cplx> r = roots(five);
    expect_roots(r, {1, 2, 3, 4, 5}, kLoose);
    expect_rebuilds(five, r, kTight);
    for (const cplx& root : r) EXPECT_EQ(root.imag(), 0.0);

    // (x^2 + 2x + 5)(x - 3)(2x + 1)
    const matrix<double> mixed{{2, -1, -3, -31, -15}};
    const matrix<cplx> m = roots(mixed);
    expect_roots(m, {{-1, -2}, {-1, 2}, {-0.5, 0}, {3, 0}}, kLoose);
    expect_rebuilds(mixed, m, kTight);

    // x^3 - 1 puts the unshifted QR iteration into a cycle that only the exceptional shift breaks.
    const double h = std::sqrt(3.0) / 2;
    expect_roots(roots(matrix<double>{{1, 0, 0, -1}}), {{-0.5, -h}, {-0.5, h}, {1, 0}}, kLoose);
}

TEST(Roots, RepeatedRootsRebuildTheirPolynomialAndOverflowingRatiosStillEnd) {
    // (x - 1)^3 (x + 2)^2: the triple root is only found to about eps^(1/3).
    const matrix<double> p{{1, 1, -5, -1, 8, -4}};
    const matrix<cplx> r = roots(p);
    expect_rebuilds(p, r, kLoose);
    expect_roots(r, {-2, -2, 1, 1, 1}, 1e-4);
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
