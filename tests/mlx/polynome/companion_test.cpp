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

}  // namespace

TEST(BalanceCompanion, LeavesAnAlreadyBalancedCompanionUnchanged) {
    matrix<double> A = compan(matrix<double>{{1, -3, 2}});
    const matrix<double> before = A;
    EXPECT_TRUE(balance_companion(A));
    EXPECT_TRUE(isequal(A, before));
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

