#include "host/score.hpp"

#include <cmath>
#include <limits>

namespace host {

namespace {

// Below a quarter of the grid the correlation says more about the frame border than the region.
constexpr int kMinSamples = RegionScore::kGrid * RegionScore::kGrid / 4;

std::vector<double> resample(const GreyImage& image, const Quad& corners) {
    const Homography h = squareToQuad(corners);
    std::vector<double> out;
    out.reserve(RegionScore::kGrid * RegionScore::kGrid);
    for (int j = 0; j < RegionScore::kGrid; ++j)
        for (int i = 0; i < RegionScore::kGrid; ++i) {
            const Point p = h.apply({(i + 0.5) / RegionScore::kGrid, (j + 0.5) / RegionScore::kGrid});
            double v;
            out.push_back(sampleBilinear(image, p.x, p.y, v) ? v : std::numeric_limits<double>::quiet_NaN());
        }
    return out;
}

}  // namespace

RegionScore::RegionScore(const GreyImage& reference, const Quad& corners)
    : reference_(resample(reference, corners)) {}

double RegionScore::operator()(const GreyImage& frame, const Quad& corners) const {
    const std::vector<double> current = resample(frame, corners);
    double sa = 0, sb = 0;
    int n = 0;
    for (std::size_t k = 0; k < current.size(); ++k)
        if (!std::isnan(reference_[k]) && !std::isnan(current[k])) {
            sa += reference_[k];
            sb += current[k];
            ++n;
        }
    if (n < kMinSamples) return 0;
    const double ma = sa / n, mb = sb / n;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t k = 0; k < current.size(); ++k)
        if (!std::isnan(reference_[k]) && !std::isnan(current[k])) {
            const double a = reference_[k] - ma, b = current[k] - mb;
            ab += a * b;
            aa += a * a;
            bb += b * b;
        }
    // Quantisation alone gives variances of order n/12; below that the pattern is flat.
    if (aa < n * 0.1 || bb < n * 0.1) return 0;
    return ab / std::sqrt(aa * bb);
}

}  // namespace host
