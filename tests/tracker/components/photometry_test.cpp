// Which samples count: the light's clipped samples and outlying residuals are set aside, and the
// pattern matched on the others.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "mlx/array/as_hindex.hpp"
#include "tracker/components/photometry.hpp"
#include "tracking.hpp"

namespace {

// A learner that fits nothing: the comparison with the reference alone.
struct probe : track::learning {
    probe(const track::sampleWeights* weights)
        : learning(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbpoints = 100\nplans = 2\n"),
                   fixtures::frame(0), 0.2, hooks(weights)) {
        train();
    }
    static track::learningHooks hooks(const track::sampleWeights* weights) {
        track::learningHooks h;
        h.weights = weights;
        return h;
    }
    void createPlanes() override {}
    using learning::gridPts;
};

}  // namespace

// The reference pattern seen through a brighter, more contrasted light is matched exactly when the
// samples the light clipped, or those an occluder covers, are set aside; the plain difference is not.
TEST(Photometry, ClippedAndOutlyingSamplesAreSetAsideUnderAnyLight) {
    const auto image = fixtures::frame(0);
    const auto occluded = [](mlx::matrix<double>& s) {
        for (std::size_t m = 3; m < s.numel(); m += 10) s(m) = 400.0;
    };
    const auto clipped = [](mlx::matrix<double>& s) {
        for (double& v : s) v = std::min(v, 255.0);
    };
    const track::photometry robust(false, 3.0), clipping(true, 0.0), neither(false, 0.0);
    const struct {
        const track::photometry* weights;
        void (*cover)(mlx::matrix<double>&);
    } cases[] = {{&robust, occluded}, {&clipping, clipped}};
    for (const auto& c : cases) {
        const probe p(c.weights);
        mlx::matrix<double> points = p.getH0().applyto(p.gridPts);
        mlx::geometry::normalize_h(points);
        mlx::matrix<double> samples = mlx::as_hindex(image, points);
        for (double& v : samples) v = 1.6 * v + 10.0;
        c.cover(samples);
        mlx::matrix<double> diff, work;
        p.difference(samples, diff, work);
        EXPECT_LT(fixtures::largestAbs(diff), 1e-12);
        for (const track::sampleWeights* plain : {static_cast<const track::sampleWeights*>(&neither),
                                                  static_cast<const track::sampleWeights*>(nullptr)}) {
            probe(plain).difference(samples, diff, work);
            EXPECT_GT(fixtures::largestAbs(diff), 0.05);
        }
    }
}

// A light of gain 2 and offset 20, clipped to 0..255 as a camera does, turns half the region white:
// matching on the other samples keeps it.
TEST(Photometry, ClippedLightIsTrackedOnTheSamplesItLeaves) {
    const auto lit = [](int f) {
        auto bytes = synthetic::render(synthetic::motion(f), 320, 240);
        for (auto& v : bytes) v = static_cast<unsigned char>(std::clamp(std::round(2.0 * v + 20.0), 0.0, 255.0));
        return fixtures::image(bytes);
    };
    EXPECT_GT(tracking::worstOver("extensions = 0\n", 10, 1, lit), 2.0);
    EXPECT_GT(tracking::worstOver("clipping = 0\n", 10, 1, lit), 0.6);
    EXPECT_LT(tracking::worstOver("", 10, 1, lit), 0.4);
}
