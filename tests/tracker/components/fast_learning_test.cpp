// Learning's fast paths give the plain method's models: the Cholesky ridge fit to 1e-9, the width
// search and the screened relevance vector search bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "mlx/alg/pinv.hpp"
#include "mlx/alg/ridge.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "tracker/appRVM.hpp"
#include "tracker/components/fast_learning.hpp"
#include "tracking.hpp"

namespace {

// Records each level's training set as the spine fits it, and fits as the plain method does.
struct recorder : track::levelFit {
    std::vector<mlx::matrix<double>> deltaI, deltaP;
    void fit(unsigned, const mlx::matrix<double>& I, const mlx::matrix<double>& P, double ridge,
             mlx::matrix<double>& model) override {
        deltaI.push_back(I);
        deltaP.push_back(P);
        model = ridge > 0.0 ? mlx::ridgeprod(I, P, ridge) : mlx::pinvprod(I, P);
    }
};

double relativeGap(const mlx::matrix<double>& a, const mlx::matrix<double>& b) {
    double gap = 0.0, size = 0.0;
    for (std::size_t i = 0; i < a.numel(); ++i) {
        gap = std::max(gap, std::fabs(a(i) - b(i)));
        size = std::max(size, std::fabs(b(i)));
    }
    return gap / size;
}

}  // namespace

// On real training sets, with and without the sensor ridge; a set whose Gram matrix is singular
// (fewer plans than samples, no ridge) takes the SVD's minimum-norm fit.
TEST(FastLearning, TheCholeskyFitGivesTheSvdModels) {
    for (const char* settings : {"nbtrack = 2\nplans = 300\nnbpoints = 100\n", "nbtrack = 1\nplans = 60\nnbpoints = 100\n"})
        for (double noise : {8.0, 0.0}) {
            recorder plain;
            track::linearHooks hooks;
            hooks.sampleNoise = noise;
            hooks.fit = &plain;
            const track::LearnJD jd(mlx::matrix<double>(fixtures::corners(0)), fixtures::config(settings),
                                    fixtures::frame(0), hooks);
            track::choleskyFit fast;
            for (unsigned k = 0; k < jd.getNbtrack(); ++k) {
                mlx::matrix<double> model;
                fast.fit(k, plain.deltaI[k], plain.deltaP[k], jd.getRidge(), model);
                EXPECT_LT(relativeGap(model, jd.getModels()[k]), 1e-9) << settings << "sensor " << noise;
            }
        }
}

// The width and the distances are the plain search's to the last bit.
TEST(FastLearning, TheSymmetricWidthSearchFindsThePlainWidth) {
    const mlx::matrix<double> X = mlx::rand(300, 64) * 0.1;
    track::symmetricWidthSearch search;
    mlx::matrix<double> distances;
    for (double width0 : {1.0, 0.05}) {
        EXPECT_EQ(search.find(X, width0, distances), track::kernel::findWidth(X, width0)) << width0;
        EXPECT_TRUE(mlx::isequal(distances, track::kernel::dist2(X, X)));
    }
}

namespace {

// Every row of the learner's result: widths, relevance vectors and weights.
void expectSameRelevanceModels(const track::AppRVM& a, const track::AppRVM& b) {
    for (unsigned k = 0; k < a.getNbtrack(); ++k) {
        EXPECT_EQ(a.getWidths()[k], b.getWidths()[k]);
        EXPECT_TRUE(mlx::isequal(a.getUsed()[k], b.getUsed()[k])) << "level " << k;
        EXPECT_TRUE(mlx::isequal(a.getWeights()[k], b.getWeights()[k])) << "level " << k;
    }
}

}  // namespace

// The bound leaves out only basis functions that cannot bring the best change: the same
// relevance vectors in the same order, the same weights, from the same draws.
TEST(FastLearning, TheScreenedRelevanceSearchLearnsThePlainModels) {
    const auto config = fixtures::config("nbtrack = 2\nplans = 200\nnbpoints = 64\nmax_iter = 25\n");
    track::relevanceScreen screen;
    track::symmetricWidthSearch search;
    track::relevanceHooks hooks;
    hooks.screen = &screen;
    hooks.search = &search;
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    const track::AppRVM plain(mlx::matrix<double>(fixtures::corners(0)), config, fixtures::frame(0));
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    const track::AppRVM fast(mlx::matrix<double>(fixtures::corners(0)), config, fixtures::frame(0), hooks);
    expectSameRelevanceModels(fast, plain);
}
