#include "tracker/learning.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "fixtures.hpp"
#include "mlx/array/as_hindex.hpp"
#include "mlx/geometry/homog.hpp"
#include "mlx/random/rand.hpp"

namespace {

// Exposes the training stage without fitting any model.
struct probe : track::learning {
    probe(const ini::INIParser& ini, const mlx::matrix<unsigned char>& image)
        : learning(mlx::matrix<double>(fixtures::corners(0)), ini, image, 0.2) {}
    void createPlanes() override {}
    using learning::createOnePlane;
    using learning::deltaI;
    using learning::deltaP;
    using learning::gridPts;
};

}  // namespace

TEST(Learning, PerturbationsFollowTheSharedStreamAndHalveWithEachLevel) {
    const auto image = fixtures::frame(0);
    // No "noise" key: the amplitude is the default the learner passes (0.2 for the probe); the
    // sample count is rounded down to a square grid.
    probe p(fixtures::config("plans = 300\nnbpoints = 150\n"), image);
    for (unsigned k : {0u, 1u}) {
        auto replay = mlx::atom::Randomizer::LocalRndDevice();  // a copy: the same draws follow
        p.createOnePlane(k);
        ASSERT_EQ(p.deltaP.size(), (mlx::shape{300, 8}));
        ASSERT_EQ(p.deltaI.size(), (mlx::shape{300, 144}));
        // Eight draws per perturbation, in the order dx0, dy0, ..., dx3, dy3.
        for (std::size_t row = 0; row < 300; ++row)
            for (std::size_t q = 0; q < 8; ++q) ASSERT_EQ(p.deltaP(row, q), (replay() - 0.5) * 2.0 * 0.2 / (1 << k));
    }
}

// The normalisation sums in several running sums: lengths with every remainder modulo 4 must give
// the plain two-pass result, a zero-mean row of unit norm.
TEST(Learning, PatternsAreZeroMeanUnitNormForEveryLength) {
    for (std::size_t n : {4u, 5u, 6u, 7u, 25u, 401u}) {
        mlx::matrix<double> levels(1, n);
        for (std::size_t m = 0; m < n; ++m) levels(m) = static_cast<double>((m * 37 + 11) % 256);
        double mean = 0.0;
        for (double v : levels) mean += v;
        mean /= static_cast<double>(n);
        double squares = 0.0;
        for (double v : levels) squares += (v - mean) * (v - mean);
        mlx::matrix<double> pattern;
        track::learning::standardize(levels, pattern);
        ASSERT_EQ(pattern.size(), (mlx::shape{1, n}));
        for (std::size_t m = 0; m < n; ++m)
            EXPECT_NEAR(pattern(m), (levels(m) - mean) / std::sqrt(squares), 1e-15) << n << " " << m;
    }
}
