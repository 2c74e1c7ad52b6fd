#include "tracker/interface.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <string>

#include "fixtures.hpp"
#include "mlx/tool/exception.hpp"

namespace {

// Each test runs in its own directory holding the tracker.ini it needs.
class Trackview : public testing::Test {
protected:
    void SetUp() override {
        dir = testing::TempDir() + "trackview_" + testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        configure("nbtrack = 2\nplans = 150\nnbpoints = 100\niter = 2\n");
        testing::internal::CaptureStdout();
    }
    void TearDown() override { testing::internal::GetCapturedStdout(); }
    void configure(const std::string& text) { std::ofstream("tracker.ini") << text; }

    static Select selection(int t) {
        const auto c = fixtures::corners(t);
        return Select{static_cast<std::uint32_t>(c(0, 0)), static_cast<std::uint32_t>(c(1, 0)),
                      static_cast<std::uint32_t>(c(0, 1)), static_cast<std::uint32_t>(c(1, 1)),
                      static_cast<std::uint32_t>(c(0, 2)), static_cast<std::uint32_t>(c(1, 2)),
                      static_cast<std::uint32_t>(c(0, 3)), static_cast<std::uint32_t>(c(1, 3))};
    }
    static std::string message(const std::function<void()>& f) {
        try {
            f();
        } catch (const mlx::tool::generalException& e) {
            return e.message();
        }
        return "accepted";
    }

    std::string dir;
    const std::uint32_t width = 320, height = 240, depth = 8;
};

bool same(const Select& a, const Select& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(HostCoordinates, TruncateTowardZeroWrapModulo2To32AndRefuseLostEstimates) {
    std::uint32_t v = 7;
    ASSERT_TRUE(track::toHostCoordinate(12.9, v));
    EXPECT_EQ(v, 12u);
    ASSERT_TRUE(track::toHostCoordinate(-0.5, v));
    EXPECT_EQ(v, 0u);
    ASSERT_TRUE(track::toHostCoordinate(-1.5, v));
    EXPECT_EQ(v, 4294967295u);
    ASSERT_TRUE(track::toHostCoordinate(4294967296.0 + 5.0, v));
    EXPECT_EQ(v, 5u);
    v = 7;
    EXPECT_FALSE(track::toHostCoordinate(std::numeric_limits<double>::quiet_NaN(), v));
    EXPECT_FALSE(track::toHostCoordinate(-std::numeric_limits<double>::infinity(), v));
    EXPECT_FALSE(track::toHostCoordinate(1e19, v));
    EXPECT_EQ(v, 7u);
}

TEST_F(Trackview, RunWithoutATrackerIsRefusedAndWritesNothing) {
    track::trackview view;
    const auto frame = fixtures::frame(0);
    Select sel = selection(0);
    const Select before = sel;
    EXPECT_EQ(message([&] { view.run(frame.data(), sel); }), "run: no region is being tracked (call init first)");
    view.init(selection(0), frame.data(), width, height, depth);
    view.kill();
    EXPECT_THROW(view.run(frame.data(), sel), mlx::tool::generalException);
    EXPECT_TRUE(same(sel, before));
}

TEST_F(Trackview, RefusesSelectionsAndImagesThatCannotBeTracked) {
    track::trackview view;
    const auto frame = fixtures::frame(0);
    Select collinear{10, 10, 50, 50, 90, 90, 10, 90};
    EXPECT_EQ(message([&] { view.init(collinear, frame.data(), width, height, depth); }),
              "selected corners 1, 2 and 3 are collinear or coincident: no region to track");
    Select coincident{10, 10, 10, 10, 90, 90, 10, 90};
    EXPECT_THROW(view.init(coincident, frame.data(), width, height, depth), mlx::tool::generalException);
    EXPECT_EQ(message([&] { view.init(selection(0), nullptr, width, height, depth); }), "init: the image pointer is null");
    const std::uint32_t zero = 0;
    EXPECT_EQ(message([&] { view.init(selection(0), frame.data(), zero, height, depth); }), "init: image of 0 x 240 pixels");
}

TEST_F(Trackview, SecondInitReplacesTheTrackerAndKillIsIdempotent) {
    const auto frame = fixtures::frame(0);
    {
        track::trackview view;
        view.init(selection(0), frame.data(), width, height, depth);
        view.init(selection(0), frame.data(), width, height, depth);
        view.kill();
        view.kill();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    std::size_t learned = 0, ended = 0;
    for (std::size_t at = 0; (at = out.find("Learning time : ", at)) != std::string::npos; ++at) ++learned;
    for (std::size_t at = 0; (at = out.find("Average picture tracking time : ", at)) != std::string::npos; ++at) ++ended;
    EXPECT_EQ(learned, 2u);
    EXPECT_EQ(ended, 2u);
}

TEST_F(Trackview, ZeroIterationsLeaveTheSelectionUnchanged) {
    configure("nbtrack = 2\nplans = 150\nnbpoints = 100\niter = 0\n");
    track::trackview view;
    const auto frame = fixtures::frame(0);
    view.init(selection(0), frame.data(), width, height, depth);
    Select sel{1, 2, 3, 4, 5, 6, 7, 8};
    view.run(fixtures::frame(1).data(), sel);
    EXPECT_TRUE(same(sel, (Select{1, 2, 3, 4, 5, 6, 7, 8})));
}

TEST_F(Trackview, AFrameWithoutTextureIsAnErrorAndTrackingGoesOnAfterIt) {
    track::trackview view;
    view.init(selection(0), fixtures::frame(0).data(), width, height, depth);
    Select sel = selection(0);
    view.run(fixtures::frame(1).data(), sel);
    const Select before = sel;
    mlx::matrix<unsigned char> black(320, 240);
    EXPECT_NE(message([&] { view.run(black.data(), sel); }).find("uniform"), std::string::npos);
    EXPECT_TRUE(same(sel, before));
    view.run(fixtures::frame(2).data(), sel);
    const auto truth = synthetic::truth(synthetic::motion(2));
    EXPECT_NEAR(sel.x1, truth[0], 1.5);
    EXPECT_NEAR(sel.y3, truth[5], 1.5);
}

TEST_F(Trackview, AnUppercaseMethodNameWithBlanksIsRecognised) {
    configure("tracker =   JD  \nnbtrack = 1\nplans = 50\nnbpoints = 64\n");
    track::trackview view;
    EXPECT_NO_THROW(view.init(selection(0), fixtures::frame(0).data(), width, height, depth));
}
