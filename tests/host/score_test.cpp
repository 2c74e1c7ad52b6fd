#include "host/score.hpp"
#include "host/sequence.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace host;

// One for the same region whatever the gain and offset, negative for an inverted one, near zero for
// an unrelated one, zero when the region leaves the frame, collapses or is flat.
TEST(RegionScore, ComparesTheRegionsPatternsWhateverTheirGainAndOffset) {
    SequenceOptions o;
    o.frames = 1;
    const GreyImage image = Sequence(o).frame(0);
    const Quad region = {Point{100, 70}, Point{190, 70}, Point{190, 160}, Point{100, 160}};
    const RegionScore score(image, region);
    const auto changed = [&](const std::function<int(int)>& level) {
        GreyImage out = image;
        for (auto& v : out.pixels) v = std::uint8_t(level(v));
        return score(out, region);
    };
    EXPECT_NEAR(score(image, region), 1.0, 1e-12);
    EXPECT_GT(changed([](int v) { return v / 2 + 20; }), 0.99);
    EXPECT_LT(changed([](int v) { return 255 - v; }), -0.99);
    EXPECT_EQ(changed([](int) { return 128; }), 0);
    EXPECT_LT(std::abs(score(image, Quad{Point{5, 5}, Point{95, 5}, Point{95, 95}, Point{5, 95}})), 0.4);
    EXPECT_EQ(score(image, Quad{Point{-400, -400}, Point{-300, -400}, Point{-300, -300}, Point{-400, -300}}), 0);
    EXPECT_EQ(score(image, Quad{Point{50, 50}, Point{50, 50}, Point{50, 50}, Point{50, 50}}), 0);
}
