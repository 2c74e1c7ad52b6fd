// The "seed" key: one tracker, one stream of training perturbations. Its default reproduces what
// the process's one stream gives a fresh process, so the models pinned before it stay as they were.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "../fixtures.hpp"
#include "mlx/random/rand.hpp"
#include "tracker/appDhome.hpp"
#include "tracker/components/seeded_draws.hpp"
#include "tracker/components/session.hpp"

namespace {

std::vector<mlx::matrix<double>> modelsOf(const std::string& keys) {
    track::session s(fixtures::corners(0), fixtures::config("plans = 150\nnbpoints = 64\nnbtrack = 2\n" + keys),
                     fixtures::frame(0));
    return static_cast<const track::LearnJD&>(s.spine().getLearner()).getModels();
}

bool same(const std::vector<mlx::matrix<double>>& a, const std::vector<mlx::matrix<double>>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin());
    });
}

}  // namespace

TEST(SeededDraws, TheDefaultSeedDrawsWhatAFreshProcessStreamDraws) {
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    const mlx::matrix<double> shared = mlx::rand(50, 8);
    track::seededDraws own(track::seededDraws::defaultSeed);
    for (std::size_t i = 0; i < shared.numel(); ++i) ASSERT_EQ(own.next(), shared(i)) << i;
}

TEST(SeededDraws, EachTrackerLearnsTheSameModelsWhateverWasDrawnBefore) {
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    const auto fresh = modelsOf("extensions = 0\n");  // the process stream, as a fresh process draws it
    mlx::rand(3, 7);
    const auto first = modelsOf(""), second = modelsOf("");
    EXPECT_TRUE(same(first, second));
    // The extensions that change learning switched off: the plain method's models, drawn alike.
    EXPECT_TRUE(same(modelsOf("sensor = 0\nbinning = 0\nclipping = 0\nocclusion = 0\n"), fresh));
    EXPECT_FALSE(same(modelsOf("seed = 7\n"), first));
    EXPECT_TRUE(same(modelsOf("seed = 7\n"), modelsOf("seed = 7\n")));
}
