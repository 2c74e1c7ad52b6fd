#include "tracker/tracker.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "fixtures.hpp"
#include "mlx/tool/timer.hpp"
#include "tracker/components/session.hpp"
#include "tracker/trackDhome.hpp"

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

// A flat first frame: the learner's refusal passes, the timer's start popped.
TEST(Tracker, ARefusedConstructionLeavesTheTimerBalanced) {
    for (const char* method : {"jd", "jdk", "rvm"}) {
        const auto config = fixtures::config(std::string(kSmall) + "tracker = " + method + "\n");
        EXPECT_THROW(track::session(fixtures::corners(0), config, mlx::matrix<unsigned char>(320, 240)),
                     mlx::tool::generalException);
        EXPECT_FALSE(mlx::tool::timer::notEmpty()) << method;
    }
}

// With no step the estimate is the start: the selection, then the corners last tracked.
TEST(Session, ZeroIterationsHandBackTheStartCornersWithAndWithoutTheExtensions) {
    const auto image = fixtures::frame(0);
    for (const char* extensions : {"1", "0"}) {
        track::session t(fixtures::corners(0),
                         fixtures::config(std::string(kSmall) + "iter = 0\nextensions = " + extensions + "\n"), image);
        for (int f = 0; f < 2; ++f) {
            const track::frameResult& r = t.run(fixtures::frame(3));
            EXPECT_FALSE(r.lost());
            EXPECT_TRUE(std::isnan(r.score));
            for (std::size_t j = 0; j < 4; ++j)
                for (std::size_t i = 0; i < 2; ++i)
                    EXPECT_NEAR(r.corners(i, j), fixtures::corners(0)(i, j), 1e-9) << extensions;
        }
    }
}
