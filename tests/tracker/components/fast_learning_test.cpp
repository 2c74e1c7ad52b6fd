// Learning's fast paths give the plain method's models: the Cholesky ridge fit and the refined
// kernel weights to 1e-9, the width search to its tolerance, the screened relevance vector search
// bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "mlx/alg/pinv.hpp"
#include "mlx/alg/ridge.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "tracker/appRVM.hpp"
#include "tracker/appjdk.hpp"
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

namespace {

// Records each level's training rows as the kernel learner searches their width, and searches
// as the plain method does.
struct rowsRecorder : track::kernel::widthSearch {
    std::vector<mlx::matrix<double>> rows;
    double find(const mlx::matrix<double>& X, double width0, mlx::matrix<double>& distances) override {
        rows.push_back(X);
        distances = track::kernel::dist2(X, X);
        return track::kernel::findWidth(X, width0);
    }
};

}  // namespace

// On real training rows the criterion is the plain one to a few ulps, so the width found lies
// within the search's tolerance of the plain width; the distances are exactly symmetric, 0 on the
// diagonal.
TEST(FastLearning, TheSymmetricWidthSearchFindsThePlainWidth) {
    rowsRecorder recorder;
    track::kernelHooks hooks;
    hooks.search = &recorder;
    const track::Appjdk jdk(mlx::matrix<double>(fixtures::corners(0)),
                            fixtures::config("nbtrack = 2\nplans = 300\nnbpoints = 100\nM = 60\n"), fixtures::frame(0),
                            hooks);
    track::symmetricWidthSearch search;
    mlx::matrix<double> distances;
    for (unsigned k = 0; k < jdk.getNbtrack(); ++k) {
        const mlx::matrix<double>& X = recorder.rows[k];
        const double width = search.find(X, 1.0, distances), plain = jdk.getWidths()[k];
        const double tolerance = mlx::optimization::brent_rtol * plain + mlx::optimization::brent_atol;
        EXPECT_LE(std::fabs(width - plain), 2.0 * tolerance) << "level " << k;
        EXPECT_LT(relativeGap(distances, track::kernel::dist2(X, X)), 1e-13);
        EXPECT_TRUE(mlx::isequal(distances, mlx::trans(distances)));
        for (std::size_t i = 0; i < distances.rows(); ++i) EXPECT_EQ(distances(i, i), 0.0);
        const track::kernel::widthCriterium criterion(X);
        for (double w : {0.5 * width, width, 2.0 * width}) {
            const double fast = track::symmetricWidthSearch::criterion(distances, search)(w);
            EXPECT_NEAR(fast, criterion(w), 1e-13 * std::fabs(criterion(w))) << w;
        }
    }
}

// Where the kernel matrix is well conditioned, the refined normal equations' weights are the
// pseudo-inverse's; where it is singular (a repeated centre), the pseudo-inverse's minimum-norm
// weights are kept.
TEST(FastLearning, TheRefinedWeightsAreThePseudoInversesWeights) {
    const mlx::matrix<double> X = mlx::rand(400, 64) * 0.1, P = mlx::rand(400, 8) - 0.5;
    mlx::matrix<double> gram = track::kernel::sbl_kernelFunction(X, X(mlx::AllTo(99), mlx::All), 0.5);
    track::refinedWeights solver;
    mlx::matrix<double> weights;
    solver.solve(gram, P, weights);
    EXPECT_LT(relativeGap(weights, mlx::pinvprod(gram, P)), 1e-9);
    for (std::size_t i = 0; i < gram.rows(); ++i) gram(i, 1) = gram(i, 0);
    solver.solve(gram, P, weights);
    EXPECT_TRUE(mlx::isequal(weights, mlx::pinvprod(gram, P)));
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
// relevance vectors in the same order, the same weights, from the same draws and widths.
TEST(FastLearning, TheScreenedRelevanceSearchLearnsThePlainModels) {
    const auto config = fixtures::config("nbtrack = 2\nplans = 200\nnbpoints = 64\nmax_iter = 25\n");
    track::relevanceScreen screen;
    track::symmetricWidthSearch search;
    track::relevanceHooks hooks, unscreened;
    hooks.screen = &screen;
    hooks.search = unscreened.search = &search;
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    const track::AppRVM plain(mlx::matrix<double>(fixtures::corners(0)), config, fixtures::frame(0), unscreened);
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    const track::AppRVM fast(mlx::matrix<double>(fixtures::corners(0)), config, fixtures::frame(0), hooks);
    expectSameRelevanceModels(fast, plain);
}
