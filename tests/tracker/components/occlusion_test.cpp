// Occluders: samples that end a frame far off the reference, in blobs, are left out of the match
// and the linear models refitted without them, within the memory the training matrix may take.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mlx/alg/ridge.hpp"
#include "mlx/array/as_hindex.hpp"
#include "tracker/components/occlusion.hpp"
#include "tracking.hpp"

namespace {

struct trainingOf : track::LearnJD {
    trainingOf(const std::string& settings, const track::linearHooks& hooks)
        : LearnJD(mlx::matrix<double>(fixtures::corners(0)), fixtures::config(settings), fixtures::frame(0), hooks) {}
    using LearnJD::deltaI;
    using LearnJD::deltaP;
};

// plans * (noise / spread)^2 for 50 plans and a sample noise of 8 on frame 0, the spread
// recomputed from the samples.
double ridgeOf(const track::learning& jd) {
    mlx::matrix<double> points = jd.getH0().applyto(jd.getGridPts());
    mlx::geometry::normalize_h(points);
    const mlx::matrix<double> levels = mlx::as_hindex(fixtures::frame(0), points);
    double mean = 0.0, squares = 0.0;
    for (double v : levels) mean += v / static_cast<double>(levels.numel());
    for (double v : levels) squares += (v - mean) * (v - mean);
    return 50.0 * 64.0 / squares;
}

}  // namespace

// The model minimises the training error plus the error that grain of the given deviation adds to
// every training pattern: plans * (noise / spread)^2 ||A||^2, the spread being the norm of the
// reference levels' deviations; at the minimum the gradient vanishes. Without some samples it is
// the ridge regression learned on the others alone.
TEST(Occlusion, TheRefitIsTheRidgeRegressionLearnedOnTheOtherSamples) {
    const std::size_t plans = 50, n = 100;
    track::photometry weights(true, 0.0);
    track::occlusion hiding(3.0, weights, 1, 100);
    track::linearHooks hooks;
    hooks.sampleNoise = 8.0;
    hooks.fit = &hiding;
    const trainingOf jd("nbtrack = 1\nplans = 50\nnbpoints = 100\n", hooks);
    const double ridge = ridgeOf(jd);
    EXPECT_NEAR(jd.getRidge(), ridge, 1e-12 * ridge);
    const auto& A = jd.getModels()[0];
    double worst = 0.0;
    for (std::size_t m = 0; m < n; ++m)
        for (std::size_t q = 0; q < 8; ++q) {
            double gradient = ridge * A(m, q);
            for (std::size_t p = 0; p < plans; ++p) {
                double residual = -jd.deltaP(p, q);
                for (std::size_t j = 0; j < n; ++j) residual += jd.deltaI(p, j) * A(j, q);
                gradient += jd.deltaI(p, m) * residual;
            }
            worst = std::max(worst, std::fabs(gradient));
        }
    EXPECT_LT(worst, 1e-10 * ridge * fixtures::largestAbs(A));

    const std::vector<std::size_t> hidden{0, 1, 2, 10, 11, 12, 20, 21, 22, 57, 99};
    mlx::matrix<double> model, block, solution;
    hiding.modelWithout(0, jd.getModels(), hidden, model, block, solution);
    mlx::matrix<double> seen(plans, n - hidden.size());
    std::vector<std::size_t> columns;
    for (std::size_t m = 0; m < n; ++m)
        if (std::find(hidden.begin(), hidden.end(), m) == hidden.end()) {
            for (std::size_t p = 0; p < plans; ++p) seen(p, columns.size()) = jd.deltaI(p, m);
            columns.push_back(m);
        }
    const mlx::matrix<double> expected = mlx::ridgeprod(seen, jd.deltaP, ridge);
    const double tolerance = 1e-9 * fixtures::largestAbs(expected);
    for (std::size_t q = 0; q < 8; ++q) {
        for (std::size_t c = 0; c < columns.size(); ++c) EXPECT_NEAR(model(columns[c], q), expected(c, q), tolerance);
        for (std::size_t h : hidden) EXPECT_NEAR(model(h, q), 0.0, tolerance);
    }
}

// The refit keeps points x points values per level and one more block for the frame's solve: a
// grid whose values would pass 2^27 leaves it off rather than exhaust the memory.
TEST(Occlusion, TheRefitIsOffWhereItsInversesWouldPassTheMemoryLimit) {
    track::photometry weights(true, 0.0);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(track::occlusion(3.0, weights, 3, 400).active());
    EXPECT_TRUE(track::occlusion(3.0, weights, 3, 5792).active());  // 4 x 5776^2 values, just below 2^27
    EXPECT_FALSE(track::occlusion(3.0, weights, 3, 6000).active());
    EXPECT_FALSE(track::occlusion(3.0, weights, 3, 10000).active());
    EXPECT_FALSE(track::occlusion(3.0, weights, 1, 12000).active());
    const std::string note = testing::internal::GetCapturedStderr();
    EXPECT_NE(note.find("occlusion: off for this region: the refit of 10000 points would keep 400000000 values, "
                        "above the limit of 134217728"),
              std::string::npos)
        << note;
}

// A band of another texture, fixed in the image, over the region's left side, growing by a
// twentieth of it per frame from frame 2; counted after the frame it enters (where the band is not
// yet known, a pass may end a few pixels off).
TEST(Occlusion, AnOccluderIsLeftOutOfTheMatch) {
    const auto occluded = [](int f) { return fixtures::occludedFrame(f, 4.0 * (f - 1)); };
    EXPECT_GT(tracking::worstOver("extensions = 0\n", 10, 3, occluded), 5.0);
    EXPECT_GT(tracking::worstOver("occlusion = 0\n", 10, 3, occluded), 5.0);
    EXPECT_LT(tracking::worstOver("", 10, 3, occluded), 2.0);
}
