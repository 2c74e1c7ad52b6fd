#include "host/score.hpp"
#include "host/sequence.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace host;

namespace {

SequenceOptions shortSequence() {
    SequenceOptions o;
    o.frames = 60;
    o.seed = 7;
    return o;
}

double meanAbsoluteDifference(const GreyImage& a, const GreyImage& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) sum += std::abs(a.pixels[i] - b.pixels[i]);
    return sum / double(a.pixels.size());
}

}  // namespace

TEST(Sequence, RendersTheSameFramesForTheSameOptionsInAnyOrder) {
    const Sequence a(shortSequence()), b(shortSequence());
    EXPECT_EQ(a.frame(37).pixels, b.frame(37).pixels);
    EXPECT_EQ(a.frame(3).pixels, a.frame(3).pixels);
    SequenceOptions other = shortSequence();
    other.seed = 8;
    EXPECT_GT(meanAbsoluteDifference(a.frame(0), Sequence(other).frame(0)), 10);
}

TEST(Sequence, StartsOnWholePixelsAndKeepsTheRegionInsideTheFrame) {
    SequenceOptions o = shortSequence();
    o.frames = 400;  // longer than every motion period
    const Sequence s(o);
    for (const Point& p : s.truth(0)) {
        EXPECT_EQ(p.x, std::round(p.x));
        EXPECT_EQ(p.y, std::round(p.y));
    }
    for (int k = 0; k < s.size(); ++k)
        for (const Point& p : s.truth(k)) {
            ASSERT_GE(p.x, 0) << "frame " << k;
            ASSERT_GE(p.y, 0) << "frame " << k;
            ASSERT_LE(p.x, o.width - 1) << "frame " << k;
            ASSERT_LE(p.y, o.height - 1) << "frame " << k;
        }
}

TEST(Sequence, MovesTheRegionAFewPixelsPerFrameAndFasterWithSpeed) {
    auto fastest = [](const Sequence& s) {
        double most = 0;
        for (int k = 1; k < s.size(); ++k)
            for (int c = 0; c < 4; ++c) most = std::max(most, distance(s.truth(k)[c], s.truth(k - 1)[c]));
        return most;
    };
    SequenceOptions o = shortSequence();
    const double normal = fastest(Sequence(o));
    EXPECT_GT(normal, 1.0);
    EXPECT_LT(normal, 6.0);
    o.speed = 2;
    EXPECT_NEAR(fastest(Sequence(o)) / normal, 2.0, 0.3);
}

TEST(Sequence, DrawsTheSamePatternWhereTheTruthSaysTheRegionIs) {
    const Sequence s(shortSequence());
    const RegionScore score(s.frame(0), s.truth(0));
    for (int k : {10, 30, 59}) EXPECT_GT(score(s.frame(k), s.truth(k)), 0.97) << "frame " << k;
    // The same corners a few frames later no longer hold the pattern.
    EXPECT_LT(score(s.frame(30), s.truth(0)), 0.8);
}

TEST(Sequence, AddsNoiseAndIlluminationOnlyWhenAsked) {
    SequenceOptions o = shortSequence();
    const GreyImage clean = Sequence(o).frame(5);
    for (auto v : clean.pixels) {
        ASSERT_GE(v, 8);
        ASSERT_LE(v, 247);
    }
    o.noise = 4;
    const GreyImage noisy = Sequence(o).frame(5);
    double sum2 = 0;
    for (std::size_t i = 0; i < clean.pixels.size(); ++i) sum2 += std::pow(noisy.pixels[i] - clean.pixels[i], 2);
    EXPECT_NEAR(std::sqrt(sum2 / double(clean.pixels.size())), 4.0, 0.3);
    o.noise = 0;
    o.illumination = 1;
    const Sequence lit(o);
    EXPECT_GT(meanAbsoluteDifference(lit.frame(20), Sequence(shortSequence()).frame(20)), 3);
    EXPECT_GT(RegionScore(lit.frame(0), lit.truth(0))(lit.frame(20), lit.truth(20)), 0.97);
}
