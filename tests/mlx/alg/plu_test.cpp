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

// Captures what std::cerr receives while alive.
class cerr_capture {
public:
    cerr_capture() : old_(std::cerr.rdbuf(buf_.rdbuf())) {}
    ~cerr_capture() { std::cerr.rdbuf(old_); }
    std::string text() const { return buf_.str(); }

private:
    std::ostringstream buf_;
    std::streambuf* old_;
};

const char* const kWarning =
    " Warning : Qx::Matrix is close to singular or badly scaled.\n"
    "           Results may be inaccurate. RCOND = ";

}  // namespace

TEST(Plu, NearlySingularInverseWarnsAtEveryCallButEstimatesOnceAndTheQuietOneNever) {
    const matrix<double> A = {{1, 1e-3}, {1e3, 1 + 1e-14}};  // rcond about 1e-20
    mlx::plu lu(A);
    for (int call = 0; call < 3; ++call) {
        cerr_capture err;
        lu.inv();
        std::ostringstream expected_value;
        expected_value << lu.rcond();
        EXPECT_EQ(err.text(), kWarning + expected_value.str() + ".\n");
    }
    EXPECT_EQ(lu.estimates(), 1u);
    EXPECT_LT(lu.rcond(), 0x1p-52);

    mlx::plu quiet(matrix<double>{{1, 2}, {2, 4}});
    cerr_capture err;
    quiet.inv(true);
    quiet.inv(true);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(quiet.estimates(), 0u);
    EXPECT_EQ(quiet.rcond(), -1.0);
}

