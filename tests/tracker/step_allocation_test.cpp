// The per-frame path of every method allocates nothing once its scratch matrices have their
// sizes: counts every global operator new of the test program during tracked frames.

#include <gtest/gtest.h>

#include <string>

#include "fixtures.hpp"
#include "tests/allocation_counter.hpp"
#include "tracker/components/session.hpp"

namespace {

// Allocations made by the second and third frames, after a first frame has sized the scratch.
long allocationsOfLaterFrames(const std::string& method) {
    const auto first = fixtures::frame(0);
    // An occluder on the later frames: jd refits its models without the samples it hides; the
    // kernel methods see their match fall, but not below the lost threshold (a lost frame writes
    // its report).
    const auto second = fixtures::occludedFrame(2, 20.0);
    const auto third = fixtures::occludedFrame(4, 30.0);
    testing::internal::CaptureStdout();
    long during = -1;
    {
        track::session t(fixtures::corners(0),
                  fixtures::config("tracker = " + method + "\nnbtrack = 2\nplans = 120\nnbpoints = 100\nM = 30\n"
                                   "max_iter = 6\nlost = 0.2\n"),
                  first);
        t.run(first);
        const long before = allocation_counter::count.load();
        t.run(second);
        t.run(third);
        during = allocation_counter::count.load() - before;
    }
    testing::internal::GetCapturedStdout();
    return during;
}
}  // namespace

TEST(StepAllocation, TrackingAFrameAllocatesNothingOnceTheScratchIsSizedForEveryMethod) {
    EXPECT_EQ(allocationsOfLaterFrames("jd"), 0);
    EXPECT_EQ(allocationsOfLaterFrames("jdk"), 0);
    EXPECT_EQ(allocationsOfLaterFrames("rvm"), 0);
}
