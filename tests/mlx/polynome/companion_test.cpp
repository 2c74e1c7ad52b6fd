#include "mlx/polynome/companion.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>

#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"

using namespace mlx;
using namespace mlx::polynomes;

namespace {

using cplx = std::complex<double>;

// True when every element of the subdiagonal and the last column is a power of 2 times the
// corresponding element of before, and every other element is unchanged.
bool scaled_by_powers_of_two(const matrix<double>& before, const matrix<double>& after) {
    const std::size_t n = before.rows();
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i) {
            const bool pattern = i == j + 1 || j == n - 1;
            if (!pattern || before(i, j) == 0.0) {
                if (after(i, j) != before(i, j)) return false;
                continue;
            }
            int exponent = 0;
            if (std::abs(std::frexp(after(i, j) / before(i, j), &exponent)) != 0.5) return false;
        }
    return true;
}

}  // namespace

TEST(Compan, PutsNegatedNormalisedCoefficientsInTheLastColumn) {
    const matrix<double> expected{{0, 0, -1.5}, {1, 0, 2}, {0, 1, -0.5}};
    EXPECT_TRUE(isequal(compan(matrix<double>{{2, 1, -4, 3}}), expected));
    EXPECT_TRUE(isequal(compan(matrix<double>{{0, 2, 1, -4, 3}}), expected));
    EXPECT_TRUE(isequal(compan(matrix<double>{{2}, {1}, {-4}, {3}}), expected));
    EXPECT_TRUE(compan(matrix<double>{{0, 7}}).empty());
    EXPECT_TRUE(compan(matrix<double>{{0, 0}}).empty());
}

TEST(BalanceCompanion, LeavesAnAlreadyBalancedCompanionUnchanged) {
    matrix<double> A = compan(matrix<double>{{1, -3, 2}});
    const matrix<double> before = A;
    EXPECT_TRUE(balance_companion(A));
    EXPECT_TRUE(isequal(A, before));
}

TEST(BalanceCompanion, ScalesABadlyScaledCompanionByPowersOfTwoOnly) {
    // Roots 1e-3, 1 and 1e3: the last column spans six orders of magnitude.
    matrix<double> A = compan(matrix<double>{{1, -1001.001, 1001.001, -1}});
    const matrix<double> before = A;
    EXPECT_TRUE(balance_companion(A));
    EXPECT_FALSE(isequal(A, before));
    EXPECT_TRUE(scaled_by_powers_of_two(before, A));
    // A balanced matrix is a fixed point of the balancing.
    const matrix<double> balanced = A;
    balance_companion(A);
    EXPECT_TRUE(isequal(A, balanced));
}

TEST(QrCompanion, ListsRootsByPositionWithTheNegativeImaginaryPartHigher) {
    matrix<double> real_pair = compan(matrix<double>{{1, -3, 2}});
    EXPECT_TRUE(isequal(qr_companion(real_pair), matrix<cplx>{{cplx(1, 0)}, {cplx(2, 0)}}));
    matrix<double> imaginary_pair = compan(matrix<double>{{1, 0, 1}});
    EXPECT_TRUE(isequal(qr_companion(imaginary_pair), matrix<cplx>{{cplx(0, 1)}, {cplx(0, -1)}}));
}

TEST(QrCompanion, ReportsNonConvergenceAfterOneHundredAndSixtyIterations) {
    matrix<double> A = compan(matrix<double>{{1, 2, std::nan(""), 4}});
    try {
        qr_companion(A);
        FAIL() << "no exception";
    } catch (const tool::generalException& e) {
        const std::string report = e.what();
        EXPECT_EQ(report.rfind("<MLX Error>\nIn file mlx/polynome/companion.cpp at line #", 0), 0u);
        EXPECT_EQ(e.message(), "process not converging after 160 iterations");
    }
}

TEST(QrCompanion, RefusesANonSquareMatrix) {
    matrix<double> A(2, 3);
    EXPECT_THROW(qr_companion(A), tool::generalException);
    EXPECT_THROW(balance_companion(A), tool::generalException);
}
