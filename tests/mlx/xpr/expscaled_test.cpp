#include "mlx/xpr/expscaled.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "../alg/testing.hpp"

namespace {

// Units in the last place between a double and the long-double reference.
double ulps(double value, long double reference) {
    const double nearest = static_cast<double>(reference);
    const double spacing =
        std::nextafter(std::fabs(nearest), std::numeric_limits<double>::infinity()) - std::fabs(nearest);
    return static_cast<double>(std::fabs(static_cast<long double>(value) - reference) / spacing);
}

}  // namespace

// Within an ulp of the true value over the whole normal range, the kernel widths' band included,
// with the scale applied before the exponential.
TEST(Expscaled, IsWithinAnUlpWhereTheResultIsNormal) {
    mlx::testing::lcg g(7);
    for (const auto& [lo, hi] : {std::pair<double, double>{-20.0, 0.0}, {-708.0, 709.0}, {-1e-9, 1e-9}}) {
        std::vector<double> x(10007), out(x.size());
        for (double& v : x) v = 0.5 * (lo + hi) + 0.5 * (hi - lo) * g.next();
        mlx::expscaled(x.data(), -0.5, out.data(), x.size());
        double worst = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) worst = std::max(worst, ulps(out[i], std::exp(-0.5L * x[i])));
        EXPECT_LE(worst, 1.0) << lo << " " << hi;
    }
}

// Outside the polynomial's range each value is the C library's (or exactly 0 far below), and a
// value does not depend on where it stands nor on the vector width: the same bits in a long run,
// in a tail and alone, four or two at a time.
TEST(Expscaled, GivesTheLibrarysExpAtTheEdgesAndTheSameBitsAtAnyPosition) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> x{-1000.0, -745.3, -745.1, -720.0, -708.5, -708.0, 709.0, 709.5,
                                710.0,   inf,    -inf,   nan,    0.0,    -0.0,   1.0};
    std::vector<double> out(x.size());
    mlx::expscaled(x.data(), 1.0, out.data(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double expected = x[i] < -745.2 ? 0.0 : std::exp(x[i]);
        if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(out[i]));
        else if (x[i] < -708.0 || x[i] > 709.0 || !std::isfinite(x[i]))
            EXPECT_EQ(out[i], expected) << x[i];
        else
            EXPECT_LE(ulps(out[i], std::exp(static_cast<long double>(x[i]))), 1.0) << x[i];
    }
    EXPECT_GT(out[2], 0.0);  // subnormal, not flushed
    EXPECT_EQ(out[12], 1.0);

    mlx::testing::lcg g(8);
    std::vector<double> run(37), all(run.size());
    for (double& v : run) v = 10.0 * g.next();
    mlx::expscaled(run.data(), 1.3, all.data(), run.size());
    for (std::size_t length = 0; length <= 9; ++length)
        for (std::size_t start = 0; start + length <= run.size(); start += 7) {
            std::vector<double> part(length + 1, -1.0);
            mlx::expscaled(run.data() + start, 1.3, part.data(), length);
            for (std::size_t i = 0; i < length; ++i) EXPECT_EQ(part[i], all[start + i]);
            EXPECT_EQ(part[length], -1.0);  // nothing written past the end
        }
    std::vector<double> args(4001), two(args.size()), four(args.size());
    for (double& v : args) v = 700.0 * g.next();
    mlx::detail::expscaled(args.data(), 1.0, two.data(), args.size(), 2);
    mlx::detail::expscaled(args.data(), 1.0, four.data(), args.size(), 4);
    for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(four[i], two[i]) << args[i];
}
