#include "host/sequence.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace host {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// The plane reaches this far beyond the region, in region sides, so its edge stays off the
// tracked pattern.
constexpr double kMargin = 0.3;
constexpr double kRotation = 0.35;     // radians, about 20 degrees
constexpr double kScale = 0.15;        // relative
constexpr double kPerspective = 0.08;  // projective terms of the local frame
// Periods in frames at speed 1, chosen unrelated so that the motion does not repeat.
constexpr double kPeriods[6] = {160, 110, 200, 130, 170, 150};

std::uint8_t toGrey(double v) { return std::uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

// Smooth, rich texture: random-phase plane waves (amplitude falling with frequency) plus soft
// blobs, on a raster whose pixel (i, j) sits at unit coordinates (i, j) / ppu - offset.
GreyImage texture(int w, int h, double ppu, double offset, const SequenceOptions& o, SplitMix& rng) {
    struct Wave {
        double kx, ky, phase, amplitude;
    };
    struct Blob {
        double x, y, inverseTwoSigma2, amplitude;
    };
    std::vector<Wave> waves(24);
    for (auto& wv : waves) {
        const double f = (1.5 + 4.5 * rng.uniform()) * o.detail;
        const double angle = kTwoPi * rng.uniform();
        wv = {kTwoPi * f * std::cos(angle), kTwoPi * f * std::sin(angle), kTwoPi * rng.uniform(), 1 / f};
    }
    const double spanX = w / ppu, spanY = h / ppu;
    std::vector<Blob> blobs(int(16 * std::max(1.0, spanX * spanY / 2)));
    for (auto& b : blobs) {
        const double sigma = (0.04 + 0.08 * rng.uniform()) / o.detail;
        b = {rng.uniform() * spanX - offset, rng.uniform() * spanY - offset, 1 / (2 * sigma * sigma),
             (rng.uniform() < 0.5 ? -1 : 1) * (0.5 + rng.uniform())};
    }
    std::vector<double> field(std::size_t(w) * std::size_t(h));
    double sum = 0, sum2 = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double x = i / ppu - offset, y = j / ppu - offset;
            double v = 0;
            for (const auto& wv : waves) v += wv.amplitude * std::sin(wv.kx * x + wv.ky * y + wv.phase);
            for (const auto& b : blobs) {
                const double d2 = (x - b.x) * (x - b.x) + (y - b.y) * (y - b.y);
                v += 0.6 * b.amplitude * std::exp(-d2 * b.inverseTwoSigma2);
            }
            field[std::size_t(j) * w + i] = v;
            sum += v;
            sum2 += v * v;
        }
    const double n = double(field.size());
    const double mean = sum / n;
    const double sd = std::sqrt(std::max(sum2 / n - mean * mean, 1e-12));
    GreyImage out(w, h);
    for (std::size_t k = 0; k < field.size(); ++k)
        out.pixels[k] = toGrey(std::clamp(128 + o.contrast * (field[k] - mean) / sd, 8.0, 247.0));
    return out;
}

}  // namespace

std::uint64_t SplitMix::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double SplitMix::gaussian() {
    // Box-Muller; 1 - uniform() keeps the logarithm's argument in (0, 1].
    const double u = 1 - uniform(), v = uniform();
    return std::sqrt(-2 * std::log(u)) * std::cos(kTwoPi * v);
}

Sequence::Sequence(const SequenceOptions& options) : options_(options) {
    SplitMix rng(options.seed);
    for (double& p : phase_) p = kTwoPi * rng.uniform();
    // Largest reach of a corner from the centre under the extreme rotation, scale and perspective.
    const double reach = options.region / 2 * (1 + kScale) * (std::cos(kRotation) + std::sin(kRotation)) /
                         (1 - 2 * kPerspective);
    amplitudeX_ = std::max(0.0, options.width / 2.0 - reach - 3);
    amplitudeY_ = std::max(0.0, options.height / 2.0 - reach - 3);

    const Homography first = pose(0);
    const Point local[4] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int c = 0; c < 4; ++c) {
        const Point p = first.apply(local[c]);
        start_[c] = {std::round(p.x), std::round(p.y)};
    }
    startInverse_ = first.inverse();

    const int side = int(std::ceil((1 + 2 * kMargin) * options.region * 2));
    plane_ = texture(side, side, side / (1 + 2 * kMargin), kMargin, options, rng);
    // A softer background keeps the plane easy to see without making it easy to track.
    SequenceOptions softer = options;
    softer.contrast *= 0.7;
    background_ = texture(options.width, options.height, options.region, 0, softer, rng);
}

Homography Sequence::pose(int k) const {
    const double t = k * options_.speed;
    auto wave = [&](int i) { return std::sin(kTwoPi * t / kPeriods[i] + phase_[i]); };
    const double cx = options_.width / 2.0 + amplitudeX_ * wave(0);
    const double cy = options_.height / 2.0 + amplitudeY_ * wave(1);
    const double angle = kRotation * wave(2);
    const double s = options_.region / 2 * (1 + kScale * wave(3));
    const double c = std::cos(angle) * s, d = std::sin(angle) * s;
    Homography similarity;
    similarity.h = {c, -d, cx, d, c, cy, 0, 0, 1};
    Homography perspective;
    perspective.h = {1, 0, 0, 0, 1, 0, kPerspective * wave(4), kPerspective * wave(5), 1};
    return similarity * perspective;
}

Homography Sequence::planeToImage(int k) const { return pose(k) * startInverse_ * squareToQuad(start_); }

Quad Sequence::truth(int k) const {
    if (k == 0) return start_;
    const Homography motion = pose(k) * startInverse_;
    Quad q;
    for (int c = 0; c < 4; ++c) q[c] = motion.apply(start_[c]);
    return q;
}

GreyImage Sequence::frame(int k) const {
    const Homography toPlane = planeToImage(k).inverse();
    const double ppu = plane_.width / (1 + 2 * kMargin);
    const double t = k * options_.speed;
    const double gain = 1 + 0.25 * options_.illumination * std::sin(kTwoPi * t / 90);
    const double offset = 15 * options_.illumination * std::sin(kTwoPi * t / 70 + 1);
    SplitMix noise(options_.seed * 0x2545F4914F6CDD1DULL + std::uint64_t(k) + 1);
    GreyImage out(options_.width, options_.height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const Point uv = toPlane.apply({double(x), double(y)});
            double v;
            if (!sampleBilinear(plane_, (uv.x + kMargin) * ppu, (uv.y + kMargin) * ppu, v))
                v = background_.at(x, y);
            v = 128 + gain * (v - 128) + offset;
            if (options_.noise > 0) v += options_.noise * noise.gaussian();
            out.at(x, y) = toGrey(v);
        }
    return out;
}

}  // namespace host
