#include "tracker/tracker.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "mlx/tool/timer.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackRVM.hpp"
#include "tracker/trackjdk.hpp"

namespace {

// Records the level of every step instead of tracking.
struct recording : track::tracker {
    using tracker::tracker;
    std::vector<unsigned> levels;
    void trackstep(const unsigned& k, mlx::matrix<double>&, mlx::geometry::homog&,
                   const mlx::matrix<unsigned char>&) override {
        levels.push_back(k);
    }
};

const char* const kSmall = "nbtrack = 3\nplans = 100\nnbpoints = 100\n";

}  // namespace

TEST(Tracker, RunsIterStepsPerLevelCoarseToFine) {
    const auto image = fixtures::frame(0);
    testing::internal::CaptureStdout();
    {
        recording r(fixtures::corners(0), fixtures::config(std::string(kSmall) + "iter = 2\n"), image);
        r.run(image);
        EXPECT_EQ(r.levels, (std::vector<unsigned>{0, 0, 1, 1, 2, 2}));
        EXPECT_GT(r.learningTime(), 0.0);
    }
    // Timing lines are the plug-in's business; the core stays silent for other hosts.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(mlx::tool::timer::notEmpty());
}

TEST(Tracker, ZeroIterationsLeaveTheEstimateEmptyAndStillCountTheFrame) {
    const auto image = fixtures::frame(0);
    track::trackDhome t(fixtures::corners(0), fixtures::config(std::string(kSmall) + "iter = 0\n"), image);
    EXPECT_TRUE(t.run(image).empty());
    EXPECT_EQ(t.framesTracked(), 1u);
    EXPECT_FALSE(std::isnan(t.averageFrameTime()));
}

// A flat first frame, or a configuration naming another method than the tracker's.
TEST(Tracker, ARefusedConstructionLeavesTheTimerBalanced) {
    const auto image = fixtures::frame(0);
    const std::string small = kSmall;
    testing::internal::CaptureStdout();
    EXPECT_THROW(track::trackDhome(fixtures::corners(0), fixtures::config(small), mlx::matrix<unsigned char>(320, 240)),
                 mlx::tool::generalException);
    EXPECT_THROW(track::trackjdk(fixtures::corners(0), fixtures::config(small + "tracker = jd\n"), image),
                 mlx::tool::generalException);
    EXPECT_THROW(track::trackRVM(fixtures::corners(0), fixtures::config(small + "tracker = jdk\n"), image),
                 mlx::tool::generalException);
    EXPECT_THROW(track::trackDhome(fixtures::corners(0), fixtures::config(small + "tracker = rvm\nmax_iter = 2\n"), image),
                 mlx::tool::generalException);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(mlx::tool::timer::notEmpty());
}
