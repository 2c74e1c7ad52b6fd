// The region's recent motion: prediction carries a motion the plain method cannot follow, and a
// frame without history settles a far start.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tracker/components/motion_prior.hpp"
#include "tracker/trackDhome.hpp"
#include "tracking.hpp"

// A region accelerating to the right, x(t) = 1.5 t^2: 22.5 px between the last two frames.
TEST(MotionPrior, PredictionFollowsAnAccelerationThePlainMethodLoses) {
    const auto motion = [](int f) {
        return synthetic::mul(synthetic::mat3{1, 0, 1.5 * f * f, 0, 1, 0, 0, 0, 1}, synthetic::motion(0));
    };
    const auto image = [&](int f) { return fixtures::image(synthetic::render(motion(f), 320, 240)); };
    EXPECT_GT(tracking::worstOver("extensions = 0\n", 8, 1, image, motion), 5.0);
    EXPECT_GT(tracking::worstOver("predict = 0\n", 8, 1, image, motion), 5.0);
    EXPECT_LT(tracking::worstOver("", 8, 1, image, motion), 1.0);
}

namespace {

// The plain linear tracker under a motion prior alone, counting its steps.
struct settling : track::trackDhome, track::tracker::frameControl {
    settling(unsigned settle)
        : trackDhome(fixtures::corners(0), fixtures::config(std::string(tracking::kConfig) + "iter = 1\n"),
                     fixtures::frame(0)),
          prior(0.0, settle) {
        setControl(this);
    }
    void trackstep(const unsigned& k, mlx::matrix<double>& c, mlx::geometry::homog& H,
                   const mlx::matrix<unsigned char>& frame) override {
        ++taken;
        trackDhome::trackstep(k, c, H, frame);
    }
    void start(tracker& t) override { prior.start(t); }
    bool stepOn(const tracker& t, unsigned k, unsigned n) const override { return prior.stepOn(t, k, n); }
    // From a restart (after frame 0 when there is a history): whether a run on image ends within
    // 1 px of m.
    bool reaches(const mlx::matrix<unsigned char>& image, const synthetic::mat3& m, bool history = false) {
        restart();
        prior.restart(mlx::matrix<double, 12>(fixtures::corners(0)));
        if (history) prior.tracked(run(fixtures::frame(0)));
        taken = 0;
        return tracking::worstError(run(image), m) < 1.0;
    }
    track::motionPrior prior;
    unsigned taken = 0;
};

}  // namespace

// Starts far off (corners moved by about 10 px, 80 px region): one step per level stops short of
// most; settling steps on, but only where no motion history predicts the start.
TEST(MotionPrior, AFarStartSettlesWhereOneStepPerLevelStopsShort) {
    settling plain(0), settled(10);
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
        plainHits += plain.reaches(image, far);
        settledHits += settled.reaches(image, far);
        EXPECT_EQ(plain.taken, 3u);
        EXPECT_LE(settled.taken, 30u);
    }
    EXPECT_LE(plainHits, 12);
    EXPECT_GE(settledHits, 16);

    settled.reaches(fixtures::image(synthetic::render(far, 320, 240)), far, true);
    EXPECT_EQ(settled.taken, 3u);
}
