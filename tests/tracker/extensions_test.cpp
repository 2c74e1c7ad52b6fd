// What the configuration's extensions change: prediction keeps a motion the plain method cannot
// follow, a clipping light is matched, an occluder is left out, and a region hidden for a while
// is reported lost, held, and picked up again.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "mlx/alg/ridge.hpp"
#include "mlx/array/as_hindex.hpp"
#include "mlx/tool/exception.hpp"
#include "tracker/binning.hpp"
#include "tracker/trackDhome.hpp"

namespace {

const char* const kConfig = "plans = 400\nnbpoints = 225\n";

double worstError(const mlx::matrix<double>& corners, const synthetic::mat3& m) {
    const auto truth = synthetic::truth(m);
    double worst = 0.0;
    for (std::size_t j = 0; j < 4; ++j)
        worst = std::max(worst, std::hypot(corners(0, j) - truth[2 * j], corners(1, j) - truth[2 * j + 1]));
    return std::isfinite(worst) ? worst : 1e9;
}

// Worst corner error of a tracker with settings over frames 1 to last, those before `from` left
// out; 1e9 once it refuses one. Frame f shows motion(f) as image(f).
template <class Image, class Motion = synthetic::mat3 (*)(int)>
double worstOver(const std::string& settings, int last, int from, Image image, Motion motion = synthetic::motion) {
    track::trackDhome t(fixtures::corners(0), fixtures::config(kConfig + settings), fixtures::frame(0));
    double worst = 0.0;
    try {
        for (int f = 1; f <= last; ++f) {
            const double error = worstError(t.run(image(f)), motion(f));
            if (f >= from) worst = std::max(worst, error);
        }
    } catch (const mlx::tool::generalException&) {
        return 1e9;
    }
    return worst;
}

struct trainingOf : track::LearnJD {
    using LearnJD::LearnJD;
    using LearnJD::deltaI;
    using LearnJD::deltaP;
};

const char* const kRidged = "nbtrack = 1\nplans = 50\nnbpoints = 100\nsensor = 8\nbinning = 0\n";

// plans * (sensor / spread)^2 for kRidged on frame 0, the spread recomputed from the samples.
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

// The model minimises the training error plus the error that grain of the configured deviation
// adds to every training pattern: plans * (sensor / spread)^2 ||A||^2, the spread being the norm
// of the reference levels' deviations; at the minimum the gradient vanishes. Without some samples
// it is the ridge regression learned on the others alone.
TEST(Extensions, SensorNoiseGivesTheRidgeRegressionAndHidingSamplesRefitsItOnTheOthers) {
    const std::size_t plans = 50, n = 100;
    const trainingOf jd(mlx::matrix<double>(fixtures::corners(0)), fixtures::config(kRidged), fixtures::frame(0));
    const double ridge = ridgeOf(jd);
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
    jd.modelWithout(0, hidden, model, block, solution);
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

// The refit keeps points x points values per level: too many points leave it off rather than
// exhaust the memory.
TEST(Extensions, OcclusionIsOffWhereItsInversesWouldPassTheMemoryLimit) {
    const trainingOf jd(mlx::matrix<double>(fixtures::corners(0)),
                        fixtures::config("nbtrack = 1\nplans = 2\nnbpoints = 12000\n"), fixtures::frame(0));
    EXPECT_TRUE(jd.getInverses().empty());
    EXPECT_EQ(jd.getModels()[0].rows(), 109u * 109u);
}

// A light of gain 2 and offset 20, clipped to 0..255 as a camera does, turns half the region white:
// matching on the other samples keeps it.
TEST(Extensions, ClippedLightIsMatchedOnTheSamplesItLeaves) {
    const auto lit = [](int f) {
        auto bytes = synthetic::render(synthetic::motion(f), 320, 240);
        for (auto& v : bytes) v = static_cast<unsigned char>(std::clamp(std::round(2.0 * v + 20.0), 0.0, 255.0));
        return fixtures::image(bytes);
    };
    EXPECT_GT(worstOver("extensions = 0\n", 10, 1, lit), 2.0);
    EXPECT_GT(worstOver("clipping = 0\n", 10, 1, lit), 0.6);
    EXPECT_LT(worstOver("", 10, 1, lit), 0.4);
}

// A band of another texture, fixed in the image, over the region's left side, growing by a
// twentieth of it per frame from frame 2; counted after the frame it enters (where the band is not
// yet known, a pass may end a few pixels off).
TEST(Extensions, AnOccluderIsLeftOutOfTheMatch) {
    const auto occluded = [](int f) { return fixtures::occludedFrame(f, 4.0 * (f - 1)); };
    EXPECT_GT(worstOver("extensions = 0\n", 10, 3, occluded), 5.0);
    EXPECT_GT(worstOver("occlusion = 0\n", 10, 3, occluded), 5.0);
    EXPECT_LT(worstOver("", 10, 3, occluded), 2.0);
}

// A region accelerating to the right, x(t) = 1.5 t^2: 22.5 px between the last two frames.
TEST(Extensions, PredictionFollowsAnAccelerationThePlainMethodLoses) {
    const auto motion = [](int f) {
        return synthetic::mul(synthetic::mat3{1, 0, 1.5 * f * f, 0, 1, 0, 0, 0, 1}, synthetic::motion(0));
    };
    const auto image = [&](int f) { return fixtures::image(synthetic::render(motion(f), 320, 240)); };
    EXPECT_GT(worstOver("extensions = 0\n", 8, 1, image, motion), 5.0);
    EXPECT_GT(worstOver("predict = 0\n", 8, 1, image, motion), 5.0);
    EXPECT_LT(worstOver("", 8, 1, image, motion), 1.0);
}

TEST(Extensions, AHiddenRegionIsLostHeldAndFoundAgainWhereItWas) {
    const auto first = fixtures::frame(0);
    track::trackDhome t(fixtures::corners(0), fixtures::config(std::string(kConfig) + "lost = 0.3\n"), first);
    t.run(first);
    // Grain over the whole frame: nothing of the region is left to match.
    const auto hidden = fixtures::image(synthetic::noise(12345u, 320 * 240));
    for (int f = 0; f < 3; ++f) {
        try {
            const mlx::matrix<double>& c = t.run(hidden);
            FAIL() << "a hidden region was tracked to " << c(0, 0) << ", " << c(1, 0);
        } catch (const mlx::tool::generalException& e) {
            EXPECT_EQ(std::string(e.message()).rfind("run: the region was lost (match score", 0), 0u) << e.message();
        }
    }
    EXPECT_LT(worstError(t.run(first), synthetic::motion(0)), 0.5);
}

// Grain of deviation 24 on every frame: the plain samples carry it whole, the binned ones half.
// Regions whose samples lie close together, or many of whose levels lie near white, are not binned.
TEST(Extensions, BinnedFramesHalveTheGrainOfEverySample) {
    const auto grainy = [](int f) {
        auto bytes = synthetic::render(synthetic::motion(f), 320, 240);
        std::mt19937 random(static_cast<unsigned>(f));
        std::normal_distribution<double> grain(0.0, 24.0);
        for (auto& v : bytes) v = static_cast<unsigned char>(std::clamp(std::round(v + grain(random)), 0.0, 255.0));
        return fixtures::image(bytes);
    };
    const double binned = worstOver("", 20, 1, grainy);
    EXPECT_LT(binned, 1.5);
    EXPECT_LT(binned, 0.7 * worstOver("binning = 0\n", 20, 1, grainy));

    const auto binnedWith = [](const std::string& settings, const mlx::matrix<unsigned char>& image) {
        return track::LearnJD(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbtrack = 1\nplans = 2\n" + settings), image)
            .isBinned();
    };
    EXPECT_TRUE(binnedWith("nbpoints = 225\n", fixtures::frame(0)));
    EXPECT_FALSE(binnedWith("nbpoints = 225\nbinning = 0\n", fixtures::frame(0)));
    EXPECT_FALSE(binnedWith("nbpoints = 900\n", fixtures::frame(0)));
    EXPECT_FALSE(binnedWith("nbpoints = 225\n", fixtures::image(synthetic::render(synthetic::motion(0), 320, 240, 120.0))));
}

// Tracking bins only what a frame's samples read: those pixels equal the whole frame's binning,
// frame after frame.
TEST(Extensions, BinningCoversWhatTheSamplesReadOfEachFrame) {
    track::binning bins;
    const mlx::matrix<double> points{{3.5, 12.75, 19.0}, {2.25, 9.5, 14.0}, {1, 1, 1}};
    for (int f = 0; f < 2; ++f) {
        mlx::matrix<unsigned char> frame(41, 30), whole;
        for (std::size_t k = 0; k < frame.numel(); ++k) frame(k) = static_cast<unsigned char>((k * 37 + 11 * f) % 251);
        track::binning::bin(frame, whole);
        bins.newFrame();
        const auto& binned = bins.cover(frame, points);
        ASSERT_EQ(binned.size(), (mlx::shape{20, 15}));
        for (std::size_t i = 3; i < 20; ++i)
            for (std::size_t j = 2; j < 15; ++j) EXPECT_EQ(binned(i, j), whole(i, j)) << i << ", " << j << " frame " << f;
        EXPECT_EQ(whole(1, 2), (frame(2, 4) + frame(3, 4) + frame(2, 5) + frame(3, 5) + 2) / 4);
    }
    const auto mapped = track::binning::fromFrame().applyto(mlx::matrix<double>{{4.5}, {10.5}, {1.0}});
    EXPECT_DOUBLE_EQ(mapped(0), 2.0);
    EXPECT_DOUBLE_EQ(mapped(1), 5.0);
}

// Starts far off (corners moved by about 10 px, 80 px region): one step per level stops short of
// most; settling steps on, but only where no motion history predicts the start.
TEST(Extensions, AFarStartSettlesWhereOneStepPerLevelStopsShort) {
    struct counting : track::trackDhome {
        using trackDhome::trackDhome;
        unsigned taken = 0;
        void trackstep(const unsigned& k, mlx::matrix<double>& c, mlx::geometry::homog& H,
                       const mlx::matrix<unsigned char>& frame) override {
            ++taken;
            trackDhome::trackstep(k, c, H, frame);
        }
    };
    const std::string settings = std::string(kConfig) + "iter = 1\nocclusion = 0\n";
    counting plain(fixtures::corners(0), fixtures::config(settings + "settle = 0\n"), fixtures::frame(0));
    counting settled(fixtures::corners(0), fixtures::config(settings), fixtures::frame(0));
    // From a restart, after frame 0 when there is a history: whether a run on image ends within 1 px of m.
    const auto reaches = [](counting& t, const mlx::matrix<unsigned char>& image, const synthetic::mat3& m,
                            bool history = false) {
        t.restart();
        if (history) t.run(fixtures::frame(0));
        t.taken = 0;
        try {
            return worstError(t.run(image), m) < 1.0;
        } catch (const mlx::tool::generalException&) {
            return false;
        }
    };
    std::mt19937 random(7);
    std::normal_distribution<double> shift(0.0, 8.0), linear(0.0, 0.08), tilt(0.0, 2e-4);
    int plainHits = 0, settledHits = 0;
    synthetic::mat3 far{};
    for (int trial = 0; trial < 20; ++trial) {
        const synthetic::mat3 about{1 + linear(random), linear(random), shift(random), linear(random), 1 + linear(random),
                                    shift(random), tilt(random), tilt(random), 1};
        far = synthetic::mul(synthetic::motion(0), synthetic::mul(synthetic::mat3{1, 0, 40, 0, 1, 40, 0, 0, 1},
                                                                  synthetic::mul(about, synthetic::mat3{1, 0, -40, 0, 1, -40, 0, 0, 1})));
        const auto image = fixtures::image(synthetic::render(far, 320, 240));
        plainHits += reaches(plain, image, far);
        settledHits += reaches(settled, image, far);
        EXPECT_EQ(plain.taken, 3u);
        EXPECT_LE(settled.taken, 30u);
    }
    EXPECT_LE(plainHits, 12);
    EXPECT_GE(settledHits, 16);

    reaches(settled, fixtures::image(synthetic::render(far, 320, 240)), far, true);
    EXPECT_EQ(settled.taken, 3u);
}
