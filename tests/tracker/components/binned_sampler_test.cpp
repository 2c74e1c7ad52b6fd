// Regions whose samples lie far apart are read from frames binned 2 x 2: half the grain.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "tracker/appDhome.hpp"
#include "tracker/components/binned_sampler.hpp"
#include "tracking.hpp"

// Grain of deviation 24 on every frame: the plain samples carry it whole, the binned ones half.
TEST(BinnedSampler, BinnedFramesHalveTheGrainOfEverySample) {
    const auto grainy = [](int f) {
        auto bytes = synthetic::render(synthetic::motion(f), 320, 240);
        std::mt19937 random(static_cast<unsigned>(f));
        std::normal_distribution<double> grain(0.0, 24.0);
        for (auto& v : bytes) v = static_cast<unsigned char>(std::clamp(std::round(v + grain(random)), 0.0, 255.0));
        return fixtures::image(bytes);
    };
    const double binned = tracking::worstOver("", 20, 1, grainy);
    EXPECT_LT(binned, 1.5);
    EXPECT_LT(binned, 0.7 * tracking::worstOver("binning = 0\n", 20, 1, grainy));
}

// Regions whose samples lie close together, or many of whose levels lie near white, are not binned.
TEST(BinnedSampler, OnlyRegionsOfSparseSamplesAwayFromTheEndsOfTheScaleAreBinned) {
    const auto binnedWith = [](const std::string& settings, const mlx::matrix<unsigned char>& image) {
        track::binnedSampler reader(mlx::matrix<double>(fixtures::corners(0)), 4.0);
        track::linearHooks hooks;
        hooks.reader = &reader;
        track::LearnJD(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbtrack = 1\nplans = 2\n" + settings),
                       image, hooks);
        return reader.isBinned();
    };
    EXPECT_TRUE(binnedWith("nbpoints = 225\n", fixtures::frame(0)));
    EXPECT_FALSE(binnedWith("nbpoints = 900\n", fixtures::frame(0)));
    EXPECT_FALSE(binnedWith("nbpoints = 225\n", fixtures::image(synthetic::render(synthetic::motion(0), 320, 240, 120.0))));
}

// Tracking bins only what a frame's samples read: those pixels equal the whole frame's binning,
// frame after frame.
TEST(BinnedSampler, BinningCoversWhatTheSamplesReadOfEachFrame) {
    track::binnedSampler bins(mlx::matrix<double>(fixtures::corners(0)), 4.0);
    const mlx::matrix<double> points{{3.5, 12.75, 19.0}, {2.25, 9.5, 14.0}, {1, 1, 1}};
    for (int f = 0; f < 2; ++f) {
        mlx::matrix<unsigned char> frame(41, 30), whole;
        for (std::size_t k = 0; k < frame.numel(); ++k) frame(k) = static_cast<unsigned char>((k * 37 + 11 * f) % 251);
        track::binnedSampler::bin(frame, whole);
        bins.newFrame();
        const auto& binned = bins.cover(frame, points);
        ASSERT_EQ(binned.size(), (mlx::shape{20, 15}));
        for (std::size_t i = 3; i < 20; ++i)
            for (std::size_t j = 2; j < 15; ++j) EXPECT_EQ(binned(i, j), whole(i, j)) << i << ", " << j << " frame " << f;
        EXPECT_EQ(whole(1, 2), (frame(2, 4) + frame(3, 4) + frame(2, 5) + frame(3, 5) + 2) / 4);
    }
    const auto mapped = track::binnedSampler::fromFrame().applyto(mlx::matrix<double>{{4.5}, {10.5}, {1.0}});
    EXPECT_DOUBLE_EQ(mapped(0), 2.0);
    EXPECT_DOUBLE_EQ(mapped(1), 5.0);
}

// The binned read maps the grid as the toolkit maps it, value for value, four points at a time or
// one, a point at infinity included.
TEST(BinnedSampler, TheGridIsMappedAsTheToolkitMapsIt) {
    track::binnedSampler reader(mlx::matrix<double>(fixtures::corners(0)), 4.0);
    const mlx::matrix<double> grid = track::learning::gridOf(15);
    const mlx::geometry::homog H(mlx::matrix<double>{{80.3, 1.7, 100.1}, {-2.9, 79.6, 60.4}, {1e-3, -2e-3, 1.0}});
    mlx::matrix<double> points, samples;
    reader.read(fixtures::frame(0), H, grid, points, samples);
    ASSERT_TRUE(reader.isBinned());
    for (const bool atInfinity : {false, true}) {
        mlx::matrix<double> g = grid;
        if (atInfinity) g(0, 101) = g(1, 101) = g(2, 101) = 0.0;  // w = 0: no place on the frame
        reader.read(fixtures::frame(0), H, g, points, samples);
        mlx::matrix<double> expected = (track::binnedSampler::fromFrame() * H).applyto(g);
        mlx::geometry::normalize_h(expected);
        ASSERT_EQ(points.size(), expected.size());
        for (std::size_t k = 0; k < points.numel(); ++k)
            if (!(std::isnan(points(k)) && std::isnan(expected(k)))) {
                EXPECT_EQ(points(k), expected(k)) << k;
            }
        EXPECT_EQ(std::isnan(points(2, 101)), atInfinity);
    }
}
