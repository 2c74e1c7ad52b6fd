#include "tracker/appjdk.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "fixtures.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/xpr/elementwise.hpp"

namespace {

struct exposedJdk : track::Appjdk {
    using Appjdk::Appjdk;
    using Appjdk::deltaI;
    using Appjdk::deltaP;
    using Appjdk::gram;
};

}  // namespace

TEST(Kernel, SquaredDistancesMatchADirectComputationAndGiveTheGaussian) {
    const mlx::matrix<double> X = mlx::rand(5, 7) - 0.5;
    const mlx::matrix<double> Y = mlx::rand(3, 7) * 2.0;
    const mlx::matrix<double> D = track::kernel::dist2(X, Y);
    ASSERT_EQ(D.size(), (mlx::shape{5, 3}));
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            double direct = 0.0;
            for (std::size_t m = 0; m < 7; ++m) direct += (X(i, m) - Y(j, m)) * (X(i, m) - Y(j, m));
            EXPECT_NEAR(D(i, j), direct, 1e-12);
        }
    const mlx::matrix<double> self = track::kernel::dist2(X, X);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(self(i, i), 0.0, 1e-14);
    // The kernel is 1/e at squared distance width squared.
    const double width = 0.7;
    const mlx::matrix<double> a{{0.0, 0.0}};
    const mlx::matrix<double> b{{0.0, width}};
    EXPECT_NEAR(static_cast<double>(track::kernel::sbl_kernelFunction(a, b, width)), std::exp(-1.0), 1e-15);
    EXPECT_EQ(static_cast<double>(track::kernel::sbl_kernelFunction(a, a, width)), 1.0);
}

TEST(Appjdk, WidthsStayInsideTheSearchIntervalAndRepeat) {
    const auto image = fixtures::frame(0);
    for (double width0 : {0.05, 1.0, 3.0}) {
        const std::string cfg = "plans = 120\nnbpoints = 64\nM = 60\nwidth0 = " + std::to_string(width0) + "\n";
        track::Appjdk a(mlx::matrix<double>(fixtures::corners(0)), fixtures::config(cfg), image);
        ASSERT_EQ(a.getWidths().size(), 3u);
        for (double w : a.getWidths()) {
            EXPECT_GE(w, 0.0);
            EXPECT_LE(w, 2.0 * width0);
        }
    }
}

TEST(Appjdk, WithEveryTrainingPatternAsCentreTheModelReproducesTheTrainingMotions) {
    const auto image = fixtures::frame(0);
    exposedJdk a(mlx::matrix<double>(fixtures::corners(0)),
                 fixtures::config("nbtrack = 1\nplans = 60\nnbpoints = 100\nM = 500\n"), image);
    EXPECT_EQ(a.getM(), 60u);  // lowered to the number of perturbations
    EXPECT_EQ(a.getCentres()[0].size(), (mlx::shape{60, 100}));
    EXPECT_TRUE(mlx::isequal(a.getCentres()[0], a.deltaI));
    EXPECT_LT(fixtures::largestAbs(a.gram * a.getWeights()[0] - a.deltaP), 1e-6 * fixtures::largestAbs(a.deltaP));
}

