#include "mlx/alg/plu.hpp"
#include "mlx/alg/det.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "mlx/alg/product.hpp"
#include "testing.hpp"

using mlx::matrix;
using namespace mlx::testing;

namespace {

const char* const kWarning =
    " Warning : Qx::Matrix is close to singular or badly scaled.\n"
    "           Results may be inaccurate. RCOND = ";

}  // namespace

TEST(Plu, NearlySingularInverseWarnsAtEveryCallButEstimatesOnceAndTheQuietOneNever) {
    const matrix<double> A = {{1, 1e-3}, {1e3, 1 + 1e-14}};  // rcond about 1e-20
    mlx::plu lu(A);
    for (int call = 0; call < 3; ++call) {
        ::testing::internal::CaptureStderr();
        lu.inv();
        std::ostringstream expected_value;
        expected_value << lu.rcond();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), kWarning + expected_value.str() + ".\n");
    }
    EXPECT_EQ(lu.estimates(), 1u);
    EXPECT_LT(lu.rcond(), 0x1p-52);

    mlx::plu quiet(matrix<double>{{1, 2}, {2, 4}});
    ::testing::internal::CaptureStderr();
    quiet.inv(true);
    quiet.inv(true);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(quiet.estimates(), 0u);
    EXPECT_EQ(quiet.rcond(), -1.0);
}

TEST(Det, HandComputedDeterminantsWithTheSignOfTheRowInterchanges) {
    const std::pair<matrix<double>, double> cases[] = {
        {{{3}}, 3.0}, {{{1, 2}, {3, 4}}, -2.0}, {{{2, 0, 1}, {1, 3, 2}, {1, 1, 2}}, 6.0}, {{{1, 2}, {2, 4}}, 0.0},
        // Permutation matrices: one interchange gives -1, a 3-cycle (two interchanges) gives +1.
        {{{0, 1}, {1, 0}}, -1.0}, {{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, 1.0}, {{{0, 0, 1}, {0, 1, 0}, {1, 0, 0}}, -1.0},
        // A small first pivot: the sign must survive the interchange.
        {{{1e-3, 1}, {1, 1}}, 1e-3 - 1.0}, {{{1, 1}, {1e-3, 1}}, 1.0 - 1e-3},
    };
    for (const auto& [A, det] : cases) EXPECT_NEAR(mlx::det(A), det, kTight) << A;
}
