#include "mlx/optimization/base_brent.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

using namespace mlx;
using namespace mlx::optimization;

namespace {

// A function that records every abscissa it is evaluated at.
class recorded : public optimizableFunc<double, double> {
public:
    explicit recorded(std::function<double(double)> f) : f_(std::move(f)) {}
    double operator()(double const& x) const override {
        calls.push_back(x);
        return f_(x);
    }
    mutable std::vector<double> calls;

private:
    std::function<double(double)> f_;
};

// The search as the kernel-width learners run it.
double width_search(const recorded& f, double width0) {
    return base_brent(f, std::min(0.0, 2 * width0), std::max(0.0, 2 * width0), width0, brent_rtol,
                      brent_atol, brent_max_passes);
}

// Brent stops once the bracket around x lies within 2 * tol1 of it.
double stop_bound(double x) { return 2 * (std::abs(x) * brent_rtol + brent_atol); }

}  // namespace

TEST(BaseBrent, ConvergesToAnEndOfTheIntervalWithoutLeavingItOrStopsOnAnEmptyOne) {
    recorded increasing([](double x) { return std::exp(x); });
    const double x = width_search(increasing, 0.5);
    EXPECT_GE(x, 0.0);
    EXPECT_LE(x, stop_bound(0.0));
    for (double u : increasing.calls) EXPECT_TRUE(u >= 0.0 && u <= 1.0) << u;

    recorded decreasing([](double x) { return -x; });
    const double y = width_search(decreasing, 0.5);
    EXPECT_LE(y, 1.0);
    EXPECT_GE(y, 1.0 - stop_bound(1.0));

    recorded empty([](double x) { return x * x; });  // an empty interval: one evaluation
    EXPECT_EQ(width_search(empty, 0.0), 0.0);
    EXPECT_EQ(empty.calls, std::vector<double>{0.0});
}
