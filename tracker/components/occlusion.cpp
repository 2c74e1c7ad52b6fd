#include "tracker/components/occlusion.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "mlx/alg/mldivide.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/alg/ridge.hpp"
#include "tracker/components/fast_learning.hpp"

namespace track {

// The refit holds an n x n inverse per level and an n x n block for the frame's solve: together
// bounded as the training matrix is.
occlusion::occlusion(double threshold_, photometry& weights_, unsigned levels, unsigned nbpoints, bool factorised_)
    : threshold(threshold_), weights(weights_), factorised(factorised_) {
    const auto side = static_cast<unsigned long long>(std::sqrt(static_cast<double>(nbpoints)));
    const unsigned long long values = (static_cast<unsigned long long>(levels) + 1) * side * side * side * side;
    on = values <= learningLimits::matrixElements;
    if (on && factorised) packed.reserve(levels * mlx::ridgefactor::packedSize(side * side));
    if (!on)
        std::cerr << "occlusion: off for this region: the refit of " << side * side << " points would keep "
                  << values << " values, above the limit of " << learningLimits::matrixElements << std::endl;
}

void occlusion::fit(unsigned, const mlx::matrix<double>& deltaI, const mlx::matrix<double>& deltaP, double ridge,
                    mlx::matrix<double>& model) {
    mlx::ridgefactor factor;
    if (factorised) factor = mlx::ridgefactor(deltaI, ridge, choleskyFit::rcondFloor);
    if (factor.rcond() >= choleskyFit::rcondFloor) {
        model = factor.solve(deltaI, deltaP);
        const std::size_t n = deltaI.cols(), at = packed.numel();
        packed.resize(1, at + mlx::ridgefactor::packedSize(n));
        factor.pack(packed.data() + at);
        factored.push_back(true);
        inverses.emplace_back().reserve(n * n);
    } else {
        inverses.push_back(mlx::ridgeinv(deltaI, ridge));
        model = inverses.back() * mlx::prodtMM(deltaI, deltaP);
        factored.push_back(false);
    }
    spread.resize(1, deltaI.cols());
    for (std::size_t m = 0; m < deltaI.cols(); ++m) {
        double squares = 0.0;
        for (std::size_t p = 0; p < deltaI.rows(); ++p) squares += deltaI(p, m) * deltaI(p, m);
        spread(m) = std::sqrt(squares / static_cast<double>(deltaI.rows()));
    }
}

void occlusion::attach(trackDhome& t) {
    const std::size_t n = t.getLearner().getGridPts().cols();
    masked = t.getLinearLearner().getModels();
    hidden.reserve(n);
    outlying.resize(n);
    fitted.resize(n, 1);
    residual.resize(1, n);
    magnitudes.resize(n, 1);
    // Sized for every sample hidden, but backed only as far as a frame's hidden samples need.
    block.reserve(n * n);
    solution.resize(n, 8);
    earlierSamples.resize(1, n);
    earlierPattern.resize(1, n);
    earlierCorners.resize(3, 4);
    // Room for the mask, which stays empty until samples are hidden.
    weights.visible().resize(1, n);
    release(t);
}

void occlusion::steps(trackDhome& t, const mlx::matrix<unsigned char>& frame) {
    if (t.getLearner().getNbtrack() == 0 || t.getIter() == 0) {
        t.pass(frame);
        return;
    }
    const mlx::geometry::homog start = t.getH();
    t.pass(frame);
    for (unsigned again = 0; again < 2 && hide(t); ++again) {
        const mlx::geometry::homog earlier = t.getH();
        earlierCorners = t.getCorners();
        earlierSamples = t.lastSamples();
        earlierPattern = t.lastDifference();
        t.setH(start);
        t.pass(frame);
        if (earlierFitsBetter(t)) {
            t.setH(earlier);
            t.setCorners(earlierCorners);
            t.setLastDifference(earlierPattern);
            return;
        }
        if (again == 1) hide(t);
    }
}

bool occlusion::earlierFitsBetter(const trackDhome& t) {
    const mlx::matrix<double>& visible = weights.visible();
    const mlx::matrix<double>& samples = t.lastSamples();
    for (std::size_t m = 0; m < fitted.numel(); ++m)
        fitted(m) = visible(m) != 0.0 && !weights.clipped(earlierSamples(m)) && !weights.clipped(samples(m)) ? 1.0 : 0.0;
    const auto misfit = [&](const mlx::matrix<double>& s) {
        t.getLearner().residuals(s, fitted.data(), residual);
        double squares = 0.0;
        for (std::size_t m = 0; m < fitted.numel(); ++m) squares += fitted(m) * residual(m) * residual(m);
        return squares;
    };
    return misfit(earlierSamples) < misfit(samples);
}

bool occlusion::hide(trackDhome& t) {
    const mlx::matrix<double>& samples = t.lastSamples();
    mlx::matrix<double>& visible = weights.visible();
    const std::size_t n = samples.numel();
    const auto clipped = [&](std::size_t m) { return weights.clipped(samples(m)); };
    const bool whole = visible.empty() && !weights.rejectsOutliers();
    const auto fit = [&] {
        for (std::size_t m = 0; m < n; ++m) fitted(m) = (visible.empty() || visible(m) != 0.0) && !clipped(m) ? 1.0 : 0.0;
    };
    // Seen whole, the last step's difference is the residual of every unclipped sample already.
    if (!whole) {
        fit();
        t.getLearner().residuals(samples, fitted.data(), residual);
    }
    const mlx::matrix<double>& r = whole ? t.lastDifference() : residual;
    // An outlier lies beyond a floor, a quarter of a unit pattern's typical value, which keeps a
    // sharp noiseless match from calling its slightest misfit an occluder, and beyond what the
    // finest level's motions change at its sample (sharp edges). A blob's core is an outlier with
    // two outlying neighbours: fewer than three outliers make none.
    const double floor = 0.25 / std::sqrt(static_cast<double>(n));
    std::size_t beyond = 0;
    for (std::size_t m = 0; m < n; ++m) beyond += std::fabs(r(m)) > std::max(floor, spread(m)) && !clipped(m);
    if (beyond < 3) return nothingHidden(t);
    if (whole) fit();
    // The median of every fourth sample's: as robust, and a quarter of the work.
    std::size_t count = 0;
    for (std::size_t m = 0; m < n; m += 4)
        if (fitted(m) != 0.0) magnitudes(count++) = std::fabs(r(m));
    double limit = floor;
    if (count > 0) {
        std::nth_element(magnitudes.data(), magnitudes.data() + count / 2, magnitudes.data() + count);
        limit = std::max(threshold * 1.4826 * magnitudes(count / 2), floor);
    }
    for (std::size_t m = 0; m < n; ++m) outlying[m] = !clipped(m) && std::fabs(r(m)) > std::max(limit, spread(m));

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
    if (cores == 0) return nothingHidden(t);
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
    if (hidden.size() < n / 40 || hidden.size() > 3 * n / 4) return nothingHidden(t);

    std::size_t before = 0;
    bool uncovered = false;
    if (!visible.empty())
        for (std::size_t m = 0; m < n; ++m) before += visible(m) == 0.0;
    for (std::size_t h : hidden) uncovered = uncovered || visible.empty() || visible(h) != 0.0;
    if (!uncovered && before == hidden.size()) return false;
    visible.resize(1, n);
    visible.fill(1.0);
    for (std::size_t h : hidden) visible(h) = 0.0;
    refit(t);
    return uncovered;
}

void occlusion::release(trackDhome& t) {
    hidden.clear();
    weights.visible().resize(0, 0);
    t.useModels(nullptr);
}

bool occlusion::nothingHidden(trackDhome& t) {
    release(t);
    return false;
}

void occlusion::refit(trackDhome& t) {
    const auto& models = t.getLinearLearner().getModels();
    for (std::size_t k = 0; k < masked.size(); ++k) modelWithout(k, models, hidden, masked[k], block, solution);
    t.useModels(&masked);
}

const mlx::matrix<double>& occlusion::inverse(std::size_t k) {
    if (factored[k] && inverses[k].empty()) {
        const std::size_t n = spread.numel(), size = mlx::ridgefactor::packedSize(n);
        // A level's packed factor follows those of the factored levels before it.
        const auto before = static_cast<std::size_t>(
            std::count(factored.begin(), factored.begin() + static_cast<std::ptrdiff_t>(k), true));
        mlx::ridgefactor::invertPacked(packed.data() + before * size, n, inverses[k]);
    }
    return inverses[k];
}

void occlusion::modelWithout(std::size_t k, const std::vector<mlx::matrix<double>>& models,
                             const std::vector<std::size_t>& hiddenSamples, mlx::matrix<double>& model,
                             mlx::matrix<double>& blockScratch, mlx::matrix<double>& solutionScratch) {
    const mlx::matrix<double>& G = inverse(k);
    const mlx::matrix<double>& M = models[k];
    const std::size_t n = M.rows(), h = hiddenSamples.size();
    blockScratch.resize(h, h);
    solutionScratch.resize(h, 8);
    for (std::size_t b = 0; b < h; ++b)
        for (std::size_t a = 0; a < h; ++a) blockScratch(a, b) = G(hiddenSamples[a], hiddenSamples[b]);
    for (std::size_t q = 0; q < 8; ++q)
        for (std::size_t a = 0; a < h; ++a) solutionScratch(a, q) = M(hiddenSamples[a], q);
    model = M;
    if (!mlx::CholSolveIP(blockScratch, solutionScratch)) return;
    for (std::size_t q = 0; q < 8; ++q)
        for (std::size_t a = 0; a < h; ++a) {
            const double y = solutionScratch(a, q);
            const double* g = &G(0, hiddenSamples[a]);
            double* out = &model(0, q);
            for (std::size_t i = 0; i < n; ++i) out[i] -= g[i] * y;
        }
}

}  // namespace track
