// A region hidden for a while is reported lost, its corners held, and picked up again where it was.

#include <gtest/gtest.h>

#include <string>

#include "tracker/components/lost_state.hpp"
#include "tracking.hpp"

TEST(LostState, AHiddenRegionIsLostHeldAndFoundAgainWhereItWas) {
    const auto first = fixtures::frame(0);
    // Grain over the whole frame: nothing of the region is left to match.
    const auto hidden = fixtures::image(synthetic::noise(12345u, 320 * 240));
    for (const char* setting : {"lost = 0.3\n", "lost = 0\n"}) {
        track::session t(fixtures::corners(0), fixtures::config(std::string(tracking::kConfig) + setting), first);
        const mlx::matrix<double> held = t.run(first).corners;
        bool anyLost = false;
        for (int f = 0; f < 3; ++f) {
            const track::frameResult& r = t.run(hidden);
            anyLost = anyLost || r.lost();
            if (r.lost()) {
                EXPECT_EQ(r.why.rfind("match score", 0), 0u) << r.why;
                EXPECT_LT(r.score, 0.3);
                EXPECT_EQ(tracking::worstError(r.corners, synthetic::motion(0)), tracking::worstError(held, synthetic::motion(0)));
            }
        }
        EXPECT_EQ(anyLost, std::string(setting) == "lost = 0.3\n") << setting;
        if (anyLost) {
            EXPECT_LT(tracking::worstError(t.run(first).corners, synthetic::motion(0)), 0.5);
        }
    }
}

TEST(LostState, AMatchScoreBelowTheThresholdIsLostAndNoneWhenOff) {
    EXPECT_EQ(track::lostState(0.1).verdict(0.05), "match score 0.05 below 0.1");
    EXPECT_EQ(track::lostState(0.1).verdict(0.1), "");
    EXPECT_EQ(track::lostState(0.0).verdict(-1.0), "");
    const mlx::matrix<double> halves{{0.5, -0.5}};
    EXPECT_DOUBLE_EQ(track::matchScore(halves), 0.75);
}
