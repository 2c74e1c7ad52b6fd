#include "tracker/trackDhome.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/alg/product.hpp"

namespace track {

trackDhome::trackDhome(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini,
                       const mlx::matrix<unsigned char>& image)
    : tracker(corners, ini, image), learner(learnerAs<LearnJD>("jd")) {
    if (learner->getInverses().empty()) return;
    const std::size_t n = learner->getGridPts().cols();
    masked = learner->getModels();
    hidden.reserve(n);
    outlying.resize(n);
    fitted.resize(n, 1);
    residual.resize(1, n);
    magnitudes.resize(n, 1);
    block.resize(n, n);
    solution.resize(n, 8);
    earlierSamples.resize(1, n);
    earlierPattern.resize(1, n);
    earlierCorners.resize(3, 4);
    step.work.resize(n, 2);
    // Room for the mask, which stays empty until samples are hidden.
    visible.resize(1, n);
    visible.resize(0, 0);
}

void trackDhome::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                           const mlx::matrix<unsigned char>& frame) {
    const auto& models = visible.empty() ? learner->getModels() : masked;
    mlx::prod(patternDifference(*learner, H, frame), models[k], step.delta);
    moveCorners(*learner, corners, H);
}

void trackDhome::steps(const mlx::matrix<unsigned char>& frame) {
    if (learner->getInverses().empty() || !stepping()) {
        pass(frame);
        return;
    }
    const mlx::geometry::homog start = H;
    pass(frame);
    for (unsigned again = 0; again < 2 && hide(); ++again) {
        const mlx::geometry::homog earlier = H;
        earlierCorners = corners;
        earlierSamples = step.samples;
        earlierPattern = step.pattern;
        H = start;
        pass(frame);
        if (earlierFitsBetter()) {
            H = earlier;
            corners = earlierCorners;
            step.pattern = earlierPattern;
            return;
        }
        if (again == 1) hide();
    }
}

bool trackDhome::earlierFitsBetter() {
    const bool clipping = learner->getExtensions().clipping;
    const auto clipped = [&](const mlx::matrix<double>& s, std::size_t m) { return clipping && learning::saturated(s(m)); };
    for (std::size_t m = 0; m < fitted.numel(); ++m)
        fitted(m) = visible(m) != 0.0 && !clipped(earlierSamples, m) && !clipped(step.samples, m) ? 1.0 : 0.0;
    const auto misfit = [&](const mlx::matrix<double>& samples) {
        learner->residuals(samples, fitted.data(), residual);
        double squares = 0.0;
        for (std::size_t m = 0; m < fitted.numel(); ++m) squares += fitted(m) * residual(m) * residual(m);
        return squares;
    };
    return misfit(earlierSamples) < misfit(step.samples);
}

bool trackDhome::hide() {
    const mlx::matrix<double>& samples = step.samples;
    const std::size_t n = samples.numel();
    const bool clipping = learner->getExtensions().clipping;
    const auto clipped = [&](std::size_t m) { return clipping && learning::saturated(samples(m)); };
    const bool whole = visible.empty() && !(learner->getExtensions().robust > 0.0);
    const auto fit = [&] {
        for (std::size_t m = 0; m < n; ++m)
            fitted(m) = (visible.empty() || visible(m) != 0.0) && !clipped(m) ? 1.0 : 0.0;
    };
    // Seen whole, the last step's difference is the residual of every unclipped sample already.
    if (!whole) {
        fit();
        learner->residuals(samples, fitted.data(), residual);
    }
    const mlx::matrix<double>& r = whole ? step.pattern : residual;
    // An outlier lies beyond a floor, a quarter of a unit pattern's typical value, which keeps a
    // sharp noiseless match from calling its slightest misfit an occluder, and beyond what the
    // finest level's motions change at its sample (sharp edges). A blob's core is an outlier with
    // two outlying neighbours: fewer than three outliers make none.
    const double floor = 0.25 / std::sqrt(static_cast<double>(n));
    const mlx::matrix<double>& spread = learner->getSpread();
    std::size_t beyond = 0;
    for (std::size_t m = 0; m < n; ++m) beyond += std::fabs(r(m)) > std::max(floor, spread(m)) && !clipped(m);
    if (beyond < 3) return release();
    if (whole) fit();
    // The median of every fourth sample's: as robust, and a quarter of the work.
    std::size_t count = 0;
    for (std::size_t m = 0; m < n; m += 4)
        if (fitted(m) != 0.0) magnitudes(count++) = std::fabs(r(m));
    double threshold = floor;
    if (count > 0) {
        std::nth_element(magnitudes.data(), magnitudes.data() + count / 2, magnitudes.data() + count);
        threshold = std::max(learner->getExtensions().occlusion * 1.4826 * magnitudes(count / 2), floor);
    }
    for (std::size_t m = 0; m < n; ++m) outlying[m] = !clipped(m) && std::fabs(r(m)) > std::max(threshold, spread(m));

    // Occluders cover blobs: an outlier with fewer than two outlying neighbours (of eight) is
    // noise; a thin band along an occluder's edge still counts. The blobs are grown by two cells,
    // which covers the samples an occluder's edge blurs and those it reaches in the next frame.
    const long side = std::lround(std::sqrt(static_cast<double>(n)));
    const auto is = [&](long x, long y, unsigned char bit) {
        return x >= 0 && y >= 0 && x < side && y < side && (outlying[y * side + x] & bit) != 0;
    };
    std::size_t cores = 0;
    for (long y = 0; y < side; ++y)
        for (long x = 0; x < side; ++x) {
            if (!is(x, y, 1)) continue;
            int neighbours = 0;
            for (long dy = -1; dy <= 1; ++dy)
                for (long dx = -1; dx <= 1; ++dx) neighbours += (dx != 0 || dy != 0) && is(x + dx, y + dy, 1);
            if (neighbours >= 2) {
                outlying[y * side + x] |= 2;
                ++cores;
            }
        }
    if (cores == 0) return release();
    hidden.clear();
    for (long y = 0; y < side; ++y)
        for (long x = 0; x < side; ++x) {
            bool near = false;
            for (long dy = -growth; dy <= growth; ++dy)
                for (long dx = std::labs(dy) - growth; dx <= growth - std::labs(dy); ++dx) near = near || is(x + dx, y + dy, 2);
            if (near) hidden.push_back(static_cast<std::size_t>(y * side + x));
        }
    // Too few is noise; beyond three quarters the refitted models have too little left to hold
    // the region, and the match score decides whether it is lost.
    if (hidden.size() < n / 40 || hidden.size() > 3 * n / 4) return release();

    std::size_t before = 0;
    bool uncovered = false;
    if (!visible.empty())
        for (std::size_t m = 0; m < n; ++m) before += visible(m) == 0.0;
    for (std::size_t h : hidden) uncovered = uncovered || visible.empty() || visible(h) != 0.0;
    if (!uncovered && before == hidden.size()) return false;
    visible.resize(1, n);
    visible.fill(1.0);
    for (std::size_t h : hidden) visible(h) = 0.0;
    refit();
    return uncovered;
}

bool trackDhome::release() {
    hidden.clear();
    visible.resize(0, 0);
    return false;
}

void trackDhome::refit() {
    for (std::size_t k = 0; k < masked.size(); ++k) learner->modelWithout(k, hidden, masked[k], block, solution);
}

}  // namespace track
