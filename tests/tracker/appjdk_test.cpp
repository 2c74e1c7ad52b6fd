#include "tracker/appjdk.hpp"

#include <gtest/gtest.h>

#include "fixtures.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/xpr/elementwise.hpp"

namespace {

struct exposedJdk : track::Appjdk {
    using Appjdk::Appjdk;
    using Appjdk::deltaI;
    using Appjdk::deltaP;
    using Appjdk::gram;
};

}  // namespace

TEST(Appjdk, WithEveryTrainingPatternAsCentreTheModelReproducesTheTrainingMotions) {
    const auto image = fixtures::frame(0);
    exposedJdk a(mlx::matrix<double>(fixtures::corners(0)),
                 fixtures::config("nbtrack = 1\nplans = 60\nnbpoints = 100\nM = 500\n"), image);
    EXPECT_EQ(a.getM(), 60u);  // lowered to the number of perturbations
    EXPECT_EQ(a.getCentres()[0].size(), (mlx::shape{60, 100}));
    EXPECT_TRUE(mlx::isequal(a.getCentres()[0], a.deltaI));
    EXPECT_LT(fixtures::largestAbs(a.gram * a.getWeights()[0] - a.deltaP), 1e-6 * fixtures::largestAbs(a.deltaP));
}

