#include "tracker/learning.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/array/as_hindex.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "tracker/binning.hpp"

namespace track {

learning::learning(const mlx::matrix<double>& corners_, const ini::INIParser& ini,
                   const mlx::matrix<unsigned char>& image_, double defaultNoise)
    : corners(corners_),
      unitSquare{{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}},
      H0(unitSquare, corners, true),
      ext(extensions::read(ini)),
      image(image_) {
    nbtrack = ini::readUnsigned(ini, "nbtrack", learningDefaults::nbtrack);
    noise = ini::readDouble(ini, "noise", defaultNoise);
    plans = ini::readUnsigned(ini, "plans", learningDefaults::plans);
    nbpoints = ini::readUnsigned(ini, "nbpoints", learningDefaults::nbpoints);
    if (nbpoints < 4)
        MLX_RAISE("configuration key \"nbpoints\": " << nbpoints << " is below 4 sample points");
    if (plans == 0) MLX_RAISE("configuration key \"plans\": 0 leaves no training perturbation");
    if (!(noise > 0.0)) MLX_RAISE("configuration key \"noise\": " << noise << " is not positive");
    if (nbtrack > learningLimits::nbtrack)
        MLX_RAISE("configuration key \"nbtrack\": " << nbtrack << " is above the limit of " << learningLimits::nbtrack);
    if (plans > learningLimits::plans)
        MLX_RAISE("configuration key \"plans\": " << plans << " is above the limit of " << learningLimits::plans);
    if (nbpoints > learningLimits::nbpoints)
        MLX_RAISE("configuration key \"nbpoints\": " << nbpoints << " is above the limit of " << learningLimits::nbpoints);
    side = static_cast<unsigned>(std::sqrt(static_cast<double>(nbpoints)));
    const unsigned long long elements = static_cast<unsigned long long>(plans) * side * side;
    if (elements > learningLimits::matrixElements)
        MLX_RAISE("configuration keys \"plans\" and \"nbpoints\": " << plans << " x " << side * side
                  << " training values are above the limit of " << learningLimits::matrixElements);
    refPattern.resize(1, nbpoints);
    makePts();
}

void learning::grid() {
    const double step = 1.0 / side;
    const std::size_t n = static_cast<std::size_t>(side) * side;
    gridPts.resize(3, n);
    for (std::size_t m = 0; m < n; ++m) {
        gridPts(0, m) = static_cast<double>(m % side) * step;
        gridPts(1, m) = static_cast<double>(m / side) * step;
        gridPts(2, m) = 1.0;
    }
}

namespace {

// Mean of the grey levels and Euclidean norm of their deviations from it, and the lowest and
// highest level; a row whose levels are all equal has no pattern. Four running sums break the
// chain of dependent additions; the grey levels are integers, so their sum, and the mean, are
// exact in any order.
struct levels {
    double mean, norm, lowest, highest;
};

levels centring(const mlx::matrix<double>& samples) {
    const double* v = samples.data();
    const std::size_t n = samples.numel();
    const std::size_t quads = n - n % 4;
    double s[4] = {0.0, 0.0, 0.0, 0.0};
    double lo[4] = {v[0], v[0], v[0], v[0]}, hi[4] = {v[0], v[0], v[0], v[0]};
    for (std::size_t m = 0; m < quads; m += 4)
        for (std::size_t l = 0; l < 4; ++l) {
            s[l] += v[m + l];
            lo[l] = std::min(lo[l], v[m + l]);
            hi[l] = std::max(hi[l], v[m + l]);
        }
    for (std::size_t m = quads; m < n; ++m) {
        s[0] += v[m];
        lo[0] = std::min(lo[0], v[m]);
        hi[0] = std::max(hi[0], v[m]);
    }
    const double mean = (s[0] + s[1] + s[2] + s[3]) / static_cast<double>(n);
    double q[4] = {0.0, 0.0, 0.0, 0.0};
    for (std::size_t m = 0; m < quads; m += 4)
        for (std::size_t l = 0; l < 4; ++l) q[l] += (v[m + l] - mean) * (v[m + l] - mean);
    for (std::size_t m = quads; m < n; ++m) q[0] += (v[m] - mean) * (v[m] - mean);
    const double norm = std::sqrt((q[0] + q[1]) + (q[2] + q[3]));
    if (!(norm > 0.0))
        MLX_RAISE("the sampled region is uniform (no texture, or outside the image): it has no pattern to track");
    return {mean, norm, std::min(std::min(lo[0], lo[1]), std::min(lo[2], lo[3])),
            std::max(std::max(hi[0], hi[1]), std::max(hi[2], hi[3]))};
}

}  // namespace

void learning::standardize(const mlx::matrix<double>& samples, mlx::matrix<double>& pattern) {
    const levels c = centring(samples);
    pattern.resize(samples.rows(), samples.cols());
    for (std::size_t m = 0; m < samples.numel(); ++m) pattern(m) = (samples(m) - c.mean) / c.norm;
}

void learning::difference(const mlx::matrix<double>& samples, mlx::matrix<double>& diff,
                          mlx::matrix<double>& work, const double* visible) const {
    const levels c = centring(samples);
    const std::size_t n = samples.numel();
    diff.resize(samples.rows(), samples.cols());
    const bool clipped = ext.clipping && (saturated(c.lowest) || saturated(c.highest));
    if (clipped || ext.robust > 0.0 || visible != nullptr) {
        work.resize(n, 2);
        double* const inlier = work.data() + n;
        for (std::size_t m = 0; m < n; ++m)
            inlier[m] = (clipped && saturated(samples(m))) || (visible != nullptr && visible[m] == 0.0) ? 0.0 : 1.0;
        const bool partial = (ext.robust > 0.0 && rejectOutliers(samples, inlier, work.data())) || clipped ||
                             visible != nullptr;
        if (partial) {
            matchInliers(samples, inlier, diff);
            return;
        }
    }
    for (std::size_t m = 0; m < n; ++m) diff(m) = refPattern(m) - (samples(m) - c.mean) / c.norm;
}

bool learning::saturated(double level) {
    return level <= saturationMargin || level >= 255.0 - saturationMargin;
}

namespace {

// Median of the n values at v, which are reordered.
double median(double* v, std::size_t n) {
    std::nth_element(v, v + n / 2, v + n);
    return v[n / 2];
}

}  // namespace

// The residuals are taken under the affine map of the samples onto the reference that the medians
// and median deviations of the inliers give, which outliers hardly move (the plain mean and norm
// are dragged by them). 1.4826 median |r| is the standard deviation of normally distributed r.
bool learning::rejectOutliers(const mlx::matrix<double>& samples, double* inlier, double* scratch) const {
    const std::size_t n = samples.numel();
    std::size_t kept = 0;
    const auto gather = [&](const auto& value) {
        kept = 0;
        for (std::size_t m = 0; m < n; ++m)
            if (inlier[m] != 0.0) scratch[kept++] = value(m);
        return kept == 0 ? 0.0 : median(scratch, kept);
    };
    const double centreSamples = gather([&](std::size_t m) { return samples(m); });
    const double centreRef = gather([&](std::size_t m) { return refPattern(m); });
    const double spreadSamples = gather([&](std::size_t m) { return std::fabs(samples(m) - centreSamples); });
    const double spreadRef = gather([&](std::size_t m) { return std::fabs(refPattern(m) - centreRef); });
    if (!(spreadSamples > 0.0)) return false;
    const double gain = spreadRef / spreadSamples;
    const auto residual = [&](std::size_t m) {
        return std::fabs(refPattern(m) - (centreRef + (samples(m) - centreSamples) * gain));
    };
    const double threshold = ext.robust * 1.4826 * gather(residual);
    bool rejected = false;
    for (std::size_t m = 0; m < n; ++m)
        if (inlier[m] != 0.0 && residual(m) > threshold) {
            inlier[m] = 0.0;
            rejected = true;
        }
    return rejected;
}

// The affine map that matches the reference's mean and spread on the inliers, which keeps the
// pattern invariant to gain and offset of the light as the plain normalisation does. A sample
// clipped white only bounds the level it saw: it differs from the reference only by what exceeds
// the bound. Black samples are left out with the outliers: the frame reads black off its edges,
// where a sample tells nothing.
void learning::matchInliers(const mlx::matrix<double>& samples, const double* inlier, mlx::matrix<double>& diff) const {
    residuals(samples, inlier, diff);
    for (std::size_t m = 0; m < diff.numel(); ++m)
        if (inlier[m] == 0.0) diff(m) = ext.clipping && samples(m) >= 255.0 - saturationMargin ? std::min(diff(m), 0.0) : 0.0;
}

void learning::residuals(const mlx::matrix<double>& samples, const double* inlier, mlx::matrix<double>& diff) const {
    const std::size_t n = samples.numel();
    diff.resize(samples.rows(), samples.cols());
    std::size_t inliers = 0;
    double sumRef = 0.0, sumSamples = 0.0;
    for (std::size_t m = 0; m < n; ++m) {
        sumRef += inlier[m] * refPattern(m);
        sumSamples += inlier[m] * samples(m);
        inliers += inlier[m] != 0.0;
    }
    const auto refuse = [&] {
        MLX_RAISE("the sampled region is saturated or hidden: " << n - inliers << " of its " << n
                  << " samples are clipped or outlying, and the others have no pattern to match");
    };
    if (inliers < 2) refuse();
    const double meanRef = sumRef / static_cast<double>(inliers);
    const double meanSamples = sumSamples / static_cast<double>(inliers);
    double squaresRef = 0.0, squaresSamples = 0.0;
    for (std::size_t m = 0; m < n; ++m) {
        squaresRef += inlier[m] * (refPattern(m) - meanRef) * (refPattern(m) - meanRef);
        squaresSamples += inlier[m] * (samples(m) - meanSamples) * (samples(m) - meanSamples);
    }
    if (!(squaresSamples > 0.0)) refuse();
    const double gain = std::sqrt(squaresRef / squaresSamples);
    for (std::size_t m = 0; m < n; ++m) diff(m) = refPattern(m) - (meanRef + (samples(m) - meanSamples) * gain);
}

bool learning::binnable(const mlx::matrix<double>& samples) const {
    if (!(ext.binning > 0.0)) return false;
    double sides = 0.0;
    for (std::size_t c = 0; c < 4; ++c) {
        const std::size_t d = (c + 1) % 4;
        sides += std::hypot(corners(0, c) / corners(2, c) - corners(0, d) / corners(2, d),
                            corners(1, c) / corners(2, c) - corners(1, d) / corners(2, d));
    }
    if (!(sides / 4.0 / side >= ext.binning)) return false;
    std::size_t nearEnds = 0;
    for (std::size_t m = 0; m < samples.numel(); ++m)
        nearEnds += samples(m) <= binningEndMargin || samples(m) >= 255.0 - binningEndMargin;
    return static_cast<double>(nearEnds) <= binningEndShare * static_cast<double>(samples.numel());
}

void learning::makePts() {
    grid();
    mlx::matrix<double> points = H0.applyto(gridPts);
    mlx::geometry::normalize_h(points);
    mlx::matrix<double> samples = mlx::as_hindex(image, points);
    binned = binnable(samples);
    if (binned) {
        binning::bin(image, binnedImage);
        (binning::fromFrame() * H0).applyto(gridPts, points);
        mlx::geometry::normalize_h(points);
        mlx::as_hindex(binnedImage, points, samples);
    }
    refNorm = centring(samples).norm;
    standardize(samples, refPattern);
}

void learning::createOnePlane(const unsigned& k) {
    const double amp = 2.0 * noise / std::ldexp(1.0, static_cast<int>(k));
    const std::size_t n = gridPts.cols();
    deltaI.resize(plans, n);
    deltaP.resize(plans, 8);
    mlx::matrix<double, 12> moved(3, 4);
    mlx::matrix<double> points;
    mlx::matrix<double> samples;
    mlx::matrix<double> pattern;
    mlx::matrix<double> work;
    for (std::size_t p = 0; p < plans; ++p) {
        const mlx::matrix<double> D = (mlx::rand(2, 4) - 0.5) * amp;
        for (std::size_t c = 0; c < 4; ++c) {
            moved(0, c) = unitSquare(0, c) - D(0, c);
            moved(1, c) = unitSquare(1, c) - D(1, c);
            moved(2, c) = 1.0;
        }
        const mlx::geometry::homog Hp(unitSquare, moved, true);
        const mlx::geometry::homog H = binned ? binning::fromFrame() * (H0 * Hp) : H0 * Hp;
        points = H.applyto(gridPts);
        mlx::geometry::normalize_h(points);
        mlx::as_hindex(binned ? binnedImage : image, points, samples);
        difference(samples, pattern, work);
        for (std::size_t m = 0; m < n; ++m) deltaI(p, m) = pattern(m);
        for (std::size_t q = 0; q < 8; ++q) deltaP(p, q) = D(q);
    }
}

}  // namespace track
