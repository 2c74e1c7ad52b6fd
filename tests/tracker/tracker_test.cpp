#include "tracker/tracker.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "fixtures.hpp"
#include "mlx/tool/timer.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackRVM.hpp"
#include "tracker/trackjdk.hpp"

const char* const kSmall = "nbtrack = 3\nplans = 100\nnbpoints = 100\n";

TEST(Tracker, ZeroIterationsLeaveTheEstimateEmptyStillCountTheFrameAndPrintNothing) {
    const auto image = fixtures::frame(0);
    testing::internal::CaptureStdout();
    {
        track::trackDhome t(fixtures::corners(0), fixtures::config(std::string(kSmall) + "iter = 0\n"), image);
        EXPECT_TRUE(t.run(image).empty());
        EXPECT_EQ(t.framesTracked(), 1u);
        EXPECT_FALSE(std::isnan(t.averageFrameTime()));
        EXPECT_GT(t.learningTime(), 0.0);
    }
    // Timing lines are the plug-in's business; the core stays silent for other hosts.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(mlx::tool::timer::notEmpty());
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
