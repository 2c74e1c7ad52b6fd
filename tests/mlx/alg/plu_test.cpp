#include "mlx/alg/plu.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

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

