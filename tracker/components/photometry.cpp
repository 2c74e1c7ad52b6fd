#include "tracker/components/photometry.hpp"

#include <algorithm>
#include <cmath>

namespace track {
namespace {

// Median of the n values at v, which are reordered.
double median(double* v, std::size_t n) {
    std::nth_element(v, v + n / 2, v + n);
    return v[n / 2];
}

}  // namespace

bool photometry::saturated(double level) {
    return level <= saturationMargin || level >= 255.0 - saturationMargin;
}

bool photometry::weigh(const mlx::matrix<double>& samples, const mlx::matrix<double>& reference, double* weight,
                       double* scratch) const {
    const std::size_t n = samples.numel();
    const bool hidden = !mask.empty();
    const bool clippedRow = clipping && std::any_of(samples.begin(), samples.end(), saturated);
    if (!clippedRow && !rejectsOutliers() && !hidden) return false;
    for (std::size_t m = 0; m < n; ++m)
        weight[m] = (clippedRow && saturated(samples(m))) || (hidden && mask(m) == 0.0) ? 0.0 : 1.0;
    return (rejectsOutliers() && rejectOutliers(samples, reference, weight, scratch)) || clippedRow || hidden;
}

double photometry::uncounted(double sample, double fitted) const {
    return clipping && sample >= 255.0 - saturationMargin ? std::min(fitted, 0.0) : 0.0;
}

// The residuals are taken under the affine map of the samples onto the reference that the medians
// and median deviations of the inliers give, which outliers hardly move (the plain mean and norm
// are dragged by them). 1.4826 median |r| is the standard deviation of normally distributed r.
bool photometry::rejectOutliers(const mlx::matrix<double>& samples, const mlx::matrix<double>& reference,
                                double* weight, double* scratch) const {
    const std::size_t n = samples.numel();
    std::size_t kept = 0;
    const auto gather = [&](const auto& value) {
        kept = 0;
        for (std::size_t m = 0; m < n; ++m)
            if (weight[m] != 0.0) scratch[kept++] = value(m);
        return kept == 0 ? 0.0 : median(scratch, kept);
    };
    const double centreSamples = gather([&](std::size_t m) { return samples(m); });
    const double centreRef = gather([&](std::size_t m) { return reference(m); });
    const double spreadSamples = gather([&](std::size_t m) { return std::fabs(samples(m) - centreSamples); });
    const double spreadRef = gather([&](std::size_t m) { return std::fabs(reference(m) - centreRef); });
    if (!(spreadSamples > 0.0)) return false;
    const double gain = spreadRef / spreadSamples;
    const auto residual = [&](std::size_t m) {
        return std::fabs(reference(m) - (centreRef + (samples(m) - centreSamples) * gain));
    };
    const double threshold = robust * 1.4826 * gather(residual);
    bool rejected = false;
    for (std::size_t m = 0; m < n; ++m)
        if (weight[m] != 0.0 && residual(m) > threshold) {
            weight[m] = 0.0;
            rejected = true;
        }
    return rejected;
}

}  // namespace track
