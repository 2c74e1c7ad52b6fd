#include "tracker/appDhome.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "fixtures.hpp"
#include "mlx/alg/pinv.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "mlx/xpr/reductions.hpp"

namespace {

struct exposedJD : track::LearnJD {
    using LearnJD::LearnJD;
    using LearnJD::deltaI;
    using LearnJD::deltaP;
};

}  // namespace

// One model per level, sample count x 8; the last level's training set is still at hand.
TEST(LearnJD, UnderdeterminedTrainingGivesTheMinimumNormExactFit) {
    const auto image = fixtures::frame(0);
    exposedJD jd(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbtrack = 3\nplans = 30\nnbpoints = 100\nsensor = 0\n"), image);
    ASSERT_EQ(jd.getModels().size(), 3u);
    for (const auto& model : jd.getModels()) EXPECT_EQ(model.size(), (mlx::shape{100, 8}));
    const auto& A = jd.getModels().back();
    // Fewer perturbations than samples: every training motion is reproduced exactly...
    EXPECT_LT(fixtures::largestAbs(jd.deltaI * A - jd.deltaP), 1e-9);
    // ...and the model has no component outside the row space of the training differences.
    const mlx::matrix<double> rowSpace = mlx::pinv(jd.deltaI) * jd.deltaI;
    EXPECT_LT(fixtures::largestAbs(rowSpace * A - A), 1e-9 * fixtures::largestAbs(A));
}

TEST(LearnJD, OverdeterminedTrainingGivesTheOrdinaryLeastSquaresSolution) {
    const auto image = fixtures::frame(0);
    exposedJD jd(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbtrack = 1\nplans = 200\nnbpoints = 25\n"), image);
    const auto& A = jd.getModels()[0];
    // Normal equations: deltaI' (deltaI A - deltaP) = 0.
    const mlx::matrix<double> residual = mlx::prodtMM(jd.deltaI, jd.deltaI * A - jd.deltaP);
    EXPECT_LT(fixtures::largestAbs(residual), 1e-9 * fixtures::largestAbs(jd.deltaP));
}

// Patterns are zero-mean, so a difference that is the same at every sample carries no motion.
// A mean rounded to single precision would leave a tiny constant offset in every training row
// and the pseudo-inverse would blow that direction up into huge false motions.
TEST(LearnJD, ConstantPatternDifferencePredictsNoMotion) {
    const auto image = fixtures::frame(0, 0.37);
    track::LearnJD jd(mlx::matrix<double>(fixtures::corners(0)), fixtures::config(""), image);
    for (const auto& model : jd.getModels()) {
        const mlx::matrix<double> response = mlx::ones(1, model.rows()) * model;
        EXPECT_LT(fixtures::largestAbs(response), 1e-3) << response;
    }
}
