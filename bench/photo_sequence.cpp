#include "bench/photo_sequence.hpp"

#include <algorithm>
#include <cmath>

#include "host/sequence.hpp"

namespace bench {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kRotation = 0.15;     // radians, about 9 degrees each way
constexpr double kScale = 0.12;        // relative
constexpr double kPerspective = 0.08;  // projective terms at the region's edge
// Angular frequencies along the path, unrelated so that the motion does not repeat.
constexpr double kFrequencies[6] = {1.0, 1.37, 0.71, 0.53, 0.89, 0.61};
// Corners keep this far from the view's border, so the trackers' samples stay inside.
constexpr double kBorder = 6;
// Light periods in frames: slow beside the motion, unrelated to each other.
constexpr double kGainPeriod = 100, kOffsetPeriod = 140;

host::Homography matrix(double a, double b, double c, double d, double e, double f, double g, double h) {
    host::Homography m;
    m.h = {a, b, c, d, e, f, g, h, 1};
    return m;
}

host::Quad apply(const host::Homography& h, const host::Quad& q) {
    host::Quad out;
    for (int c = 0; c < 4; ++c) out[c] = h.apply(q[c]);
    return out;
}

// Mirrors a coordinate into [0, n - 1], so the view of a small photograph has no empty border.
double reflect(double v, int n) {
    const double period = 2.0 * (n - 1);
    v = std::fmod(std::fabs(v), period);
    return v > n - 1 ? period - v : v;
}

double sampleMirrored(const host::GreyImage& image, double x, double y) {
    x = reflect(x, image.width);
    y = reflect(y, image.height);
    const int x0 = std::min(static_cast<int>(x), image.width - 2);
    const int y0 = std::min(static_cast<int>(y), image.height - 2);
    const double fx = x - x0, fy = y - y0;
    const double top = image.at(x0, y0) + fx * (image.at(x0 + 1, y0) - image.at(x0, y0));
    const double bottom = image.at(x0, y0 + 1) + fx * (image.at(x0 + 1, y0 + 1) - image.at(x0, y0 + 1));
    return top + fy * (bottom - top);
}

std::uint8_t toGrey(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

host::GreyImage viewOf(const host::GreyImage& photo, const host::Homography& viewToPhoto, int width, int height) {
    host::GreyImage out(width, height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const host::Point p = viewToPhoto.apply({static_cast<double>(x), static_cast<double>(y)});
            out.at(x, y) = toGrey(sampleMirrored(photo, p.x, p.y));
        }
    return out;
}

PhotoSequence::PhotoSequence(const host::GreyImage& photo, const PhotoSequenceOptions& options)
    : photo_(photo), options_(options) {
    host::SplitMix random(options.seed);
    for (double& p : phase_) p = kTwoPi * random.uniform();
    double jitter[8];
    for (double& j : jitter) j = (2 * random.uniform() - 1) * 0.06 * options.region;

    const double s = options.region;
    const auto inside = [&](const host::Quad& q) {
        return std::all_of(q.begin(), q.end(), [&](host::Point p) {
            return p.x >= kBorder && p.y >= kBorder && p.x <= options_.width - 1 - kBorder &&
                   p.y <= options_.height - 1 - kBorder;
        });
    };
    for (int attempt = 0; attempt < 60; ++attempt, scale_ *= 0.9) {
        startInverse_ = pose(0).inverse();
        const host::Point centre = pose(0).apply({0, 0});
        const double cx = std::round(centre.x), cy = std::round(centre.y);
        start_ = {host::Point{std::round(cx - s / 2 + jitter[0]), std::round(cy - s / 2 + jitter[1])},
                  host::Point{std::round(cx + s / 2 + jitter[2]), std::round(cy - s / 2 + jitter[3])},
                  host::Point{std::round(cx + s / 2 + jitter[4]), std::round(cy + s / 2 + jitter[5])},
                  host::Point{std::round(cx - s / 2 + jitter[6]), std::round(cy + s / 2 + jitter[7])}};
        bool fits = true;
        for (double t = 0; t < 200 && fits; t += 0.05) fits = inside(apply(pose(t) * startInverse_, start_));
        if (fits) break;
    }

    // The path's speed grows with tau almost linearly; a few rescalings reach the asked speed.
    double tau = 0.02;
    for (int i = 0; i < 6; ++i) {
        const double v = fastest(tau);
        if (v <= 0) break;
        tau *= options.speed / v;
    }
    settle(tau);
}

host::Homography PhotoSequence::pose(double t) const {
    const double s = options_.region;
    const double ax = std::max(0.0, options_.width / 2.0 - 0.8 * s - kBorder) * scale_;
    const double ay = std::max(0.0, options_.height / 2.0 - 0.8 * s - kBorder) * scale_;
    const auto wave = [&](int i) { return std::sin(kFrequencies[i] * t + phase_[i]); };
    const double cx = options_.width / 2.0 + ax * wave(0), cy = options_.height / 2.0 + ay * wave(1);
    const double angle = kRotation * scale_ * wave(2);
    const double zoom = 1 + kScale * scale_ * wave(3);
    const double px = 2 * kPerspective * scale_ * wave(4) / s, py = 2 * kPerspective * scale_ * wave(5) / s;
    const double c = zoom * std::cos(angle), n = zoom * std::sin(angle);
    return matrix(c, -n, cx, n, c, cy, 0, 0) * matrix(1, 0, 0, 0, 1, 0, px, py);
}

double PhotoSequence::fastest(double tau) const {
    double v = 0;
    host::Quad last = start_;
    for (int k = 1; k < options_.frames; ++k) {
        const host::Quad q = apply(pose(tau * k) * startInverse_, start_);
        for (int c = 0; c < 4; ++c) v = std::max(v, host::distance(q[c], last[c]));
        last = q;
    }
    return v;
}

void PhotoSequence::settle(double tau) {
    tau_ = tau;
    truth_.clear();
    truth_.push_back(start_);
    for (int k = 1; k < options_.frames; ++k) truth_.push_back(apply(pose(tau * k) * startInverse_, start_));
}

host::GreyImage PhotoSequence::render(const host::Homography& frameToView0) const {
    host::Point centre{0, 0};
    for (const auto& p : start_) centre = {centre.x + p.x / 4, centre.y + p.y / 4};
    const double z = options_.zoom;
    const host::Homography toPhoto =
        matrix(1 / z, 0, options_.anchor.x - centre.x / z, 0, 1 / z, options_.anchor.y - centre.y / z, 0, 0) *
        frameToView0;
    return viewOf(photo_, toPhoto, options_.width, options_.height);
}

// An upright ellipse of the occluder's picture, as tall as 1.3 region sides, crossing the region
// from left to right between 20 % and 80 % of the sequence.
void PhotoSequence::occlude(host::GreyImage& image, int k) const {
    const host::GreyImage& o = *options_.occluder;
    const int first = options_.frames / 5, last = options_.frames * 4 / 5;
    if (k < first || k > last) return;
    const double s = options_.region, w = options_.occluded * s, h = 1.3 * s;
    const double u = static_cast<double>(k - first) / (last - first);
    host::Point centre{0, 0};
    for (const auto& p : truth(k)) centre = {centre.x + p.x / 4, centre.y + p.y / 4};
    const double ox = centre.x - (s / 2 + w / 2 + 2) + u * (s + w + 4), oy = centre.y;
    for (int y = std::max(0, static_cast<int>(oy - h / 2)); y <= std::min(image.height - 1, static_cast<int>(oy + h / 2));
         ++y)
        for (int x = std::max(0, static_cast<int>(ox - w / 2)); x <= std::min(image.width - 1, static_cast<int>(ox + w / 2));
             ++x) {
            const double dx = (x - ox) / (w / 2), dy = (y - oy) / (h / 2);
            if (dx * dx + dy * dy > 1) continue;
            double v = 0;
            if (host::sampleBilinear(o, (dx + 1) / 2 * (o.width - 1), (dy + 1) / 2 * (o.height - 1), v))
                image.at(x, y) = toGrey(v);
        }
}

host::GreyImage PhotoSequence::frame(int k) const {
    host::GreyImage image = render((pose(tau_ * k) * startInverse_).inverse());
    if (options_.occluder != nullptr && options_.occluder->width > 1) occlude(image, k);
    if (!options_.light && options_.noise <= 0) return image;
    const double gain = options_.light ? 1 + 0.25 * std::sin(kTwoPi * k / kGainPeriod) : 1;
    const double offset = options_.light ? 20 * std::sin(kTwoPi * k / kOffsetPeriod) : 0;
    host::SplitMix random(options_.seed * 0x9E3779B97F4A7C15ULL + static_cast<std::uint64_t>(k) + 1);
    for (auto& p : image.pixels) {
        const double n = options_.noise > 0 ? options_.noise * random.gaussian() : 0;
        p = toGrey(gain * p + offset + n);
    }
    return image;
}

host::GreyImage PhotoSequence::moved(const host::Quad& moved) const {
    const host::Homography G = host::squareToQuad(moved) * host::squareToQuad(start_).inverse();
    return render(G.inverse());
}

}  // namespace bench
