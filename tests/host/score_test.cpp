#include "host/score.hpp"
#include "host/sequence.hpp"

#include <gtest/gtest.h>

using namespace host;

namespace {

const Quad kRegion = {Point{100, 70}, Point{190, 70}, Point{190, 160}, Point{100, 160}};

GreyImage textured() {
    SequenceOptions o;
    o.frames = 1;
    return Sequence(o).frame(0);
}

}  // namespace

TEST(RegionScore, IsOneForTheSameRegionEvenUnderAGainAndOffsetChange) {
    const GreyImage image = textured();
    const RegionScore score(image, kRegion);
    EXPECT_NEAR(score(image, kRegion), 1.0, 1e-12);
    GreyImage dimmer = image;
    for (auto& v : dimmer.pixels) v = std::uint8_t(v / 2 + 20);
    EXPECT_GT(score(dimmer, kRegion), 0.99);
}

TEST(RegionScore, IsNearZeroForAnUnrelatedRegionAndNegativeForAnInvertedOne) {
    const GreyImage image = textured();
    const RegionScore score(image, kRegion);
    const Quad elsewhere = {Point{5, 5}, Point{95, 5}, Point{95, 95}, Point{5, 95}};
    EXPECT_LT(std::abs(score(image, elsewhere)), 0.4);
    GreyImage inverted = image;
    for (auto& v : inverted.pixels) v = std::uint8_t(255 - v);
    EXPECT_LT(score(inverted, kRegion), -0.99);
}

TEST(RegionScore, IsZeroWhenTheRegionLeavesTheFrameCollapsesOrIsFlat) {
    const GreyImage image = textured();
    const RegionScore score(image, kRegion);
    const Quad outside = {Point{-400, -400}, Point{-300, -400}, Point{-300, -300}, Point{-400, -300}};
    EXPECT_EQ(score(image, outside), 0);
    const Quad point = {Point{50, 50}, Point{50, 50}, Point{50, 50}, Point{50, 50}};
    EXPECT_EQ(score(image, point), 0);
    GreyImage flat = image;
    std::fill(flat.pixels.begin(), flat.pixels.end(), 128);
    EXPECT_EQ(score(flat, kRegion), 0);
}

