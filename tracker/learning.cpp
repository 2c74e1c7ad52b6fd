#include "tracker/learning.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/array/as_hindex.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"

namespace track {

learning::learning(const mlx::matrix<double>& corners_, const ini::INIParser& ini,
                   const mlx::matrix<unsigned char>& image_, double defaultNoise, const learningHooks& hooks_)
    : corners(corners_),
      unitSquare{{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}},
      H0(unitSquare, corners, true),
      image(&image_),
      hooks(hooks_) {
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

mlx::matrix<double> learning::gridOf(unsigned side) {
    const double step = 1.0 / side;
    const std::size_t n = static_cast<std::size_t>(side) * side;
    mlx::matrix<double> points(3, n);
    for (std::size_t m = 0; m < n; ++m) {
        points(0, m) = static_cast<double>(m % side) * step;
        points(1, m) = static_cast<double>(m / side) * step;
        points(2, m) = 1.0;
    }
    return points;
}

void learning::grid() { gridPts = gridOf(side); }

void learning::train() {
    createPlanes();
    image = nullptr;
}

void learning::releaseTrainingSets() {
    deltaI = mlx::matrix<double>();
    deltaP = mlx::matrix<double>();
}

void sampler::read(const mlx::matrix<unsigned char>& frame, const mlx::geometry::homog& H,
                   const mlx::matrix<double>& grid, mlx::matrix<double>& points, mlx::matrix<double>& samples) {
    H.applyto(grid, points);
    mlx::geometry::normalize_h(points);
    mlx::as_hindex(frame, points, samples);
}

void learning::read(const mlx::matrix<unsigned char>& frame, const mlx::geometry::homog& H, mlx::matrix<double>& points,
                    mlx::matrix<double>& samples) const {
    if (hooks.reader != nullptr)
        hooks.reader->read(frame, H, gridPts, points, samples);
    else
        sampler().read(frame, H, gridPts, points, samples);
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
                          mlx::matrix<double>& work) const {
    const levels c = centring(samples);
    const std::size_t n = samples.numel();
    diff.resize(samples.rows(), samples.cols());
    if (hooks.weights != nullptr) {
        work.resize(n, 2);
        double* const weight = work.data() + n;
        if (hooks.weights->weigh(samples, refPattern, weight, work.data())) {
            residuals(samples, weight, diff);
            for (std::size_t m = 0; m < n; ++m)
                if (weight[m] == 0.0) diff(m) = hooks.weights->uncounted(samples(m), diff(m));
            return;
        }
    }
    for (std::size_t m = 0; m < n; ++m) diff(m) = refPattern(m) - (samples(m) - c.mean) / c.norm;
}

void learning::residuals(const mlx::matrix<double>& samples, const double* weight, mlx::matrix<double>& diff) const {
    const std::size_t n = samples.numel();
    diff.resize(samples.rows(), samples.cols());
    std::size_t inliers = 0;
    double sumRef = 0.0, sumSamples = 0.0;
    for (std::size_t m = 0; m < n; ++m) {
        sumRef += weight[m] * refPattern(m);
        sumSamples += weight[m] * samples(m);
        inliers += weight[m] != 0.0;
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
        squaresRef += weight[m] * (refPattern(m) - meanRef) * (refPattern(m) - meanRef);
        squaresSamples += weight[m] * (samples(m) - meanSamples) * (samples(m) - meanSamples);
    }
    if (!(squaresSamples > 0.0)) refuse();
    const double gain = std::sqrt(squaresRef / squaresSamples);
    for (std::size_t m = 0; m < n; ++m) diff(m) = refPattern(m) - (meanRef + (samples(m) - meanSamples) * gain);
}

void learning::makePts() {
    grid();
    mlx::matrix<double> points, samples;
    read(*image, H0, points, samples);
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
        mlx::matrix<double> U;
        if (hooks.draws == nullptr) {
            U = mlx::rand(2, 4);
        } else {
            U.resize(2, 4);
            for (double& v : U) v = hooks.draws->next();  // storage order, as mlx::rand fills
        }
        const mlx::matrix<double> D = (U - 0.5) * amp;
        for (std::size_t c = 0; c < 4; ++c) {
            moved(0, c) = unitSquare(0, c) - D(0, c);
            moved(1, c) = unitSquare(1, c) - D(1, c);
            moved(2, c) = 1.0;
        }
        const mlx::geometry::homog Hp =
            hooks.moves != nullptr ? (*hooks.moves)(moved) : mlx::geometry::homog(unitSquare, moved, true);
        read(*image, H0 * Hp, points, samples);
        difference(samples, pattern, work);
        for (std::size_t m = 0; m < n; ++m) deltaI(p, m) = pattern(m);
        for (std::size_t q = 0; q < 8; ++q) deltaP(p, q) = D(q);
    }
}

}  // namespace track
