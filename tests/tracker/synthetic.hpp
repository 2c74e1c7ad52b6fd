#ifndef TESTS_TRACKER_SYNTHETIC_HPP
#define TESTS_TRACKER_SYNTHETIC_HPP

// Frames of a textured plane seen through known homographies, independent of the toolkit, for
// tracking tests with ground truth.

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tracker/quadtrack.h"

namespace synthetic {

using mat3 = std::array<double, 9>;  // row-major

inline mat3 mul(const mat3& a, const mat3& b) {
    mat3 c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) c[3 * i + j] += a[3 * i + k] * b[3 * k + j];
    return c;
}

inline mat3 inverse(const mat3& m) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
    const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const double det = a * A + b * B + c * C;
    return {A / det, -(b * i - c * h) / det, (b * f - c * e) / det,
            B / det, (a * i - c * g) / det,  -(a * f - c * d) / det,
            C / det, -(a * h - b * g) / det, (a * e - b * d) / det};
}

inline std::array<double, 2> apply(const mat3& m, double x, double y) {
    const double w = m[6] * x + m[7] * y + m[8];
    return {(m[0] * x + m[1] * y + m[2]) / w, (m[3] * x + m[4] * y + m[5]) / w};
}

// Smooth texture of several sinusoids; offset shifts every level (to move the mean).
inline double texture(double u, double v, double offset = 0.0) {
    static const double waves[][4] = {{0.21, 0.05, 0.3, 30}, {-0.07, 0.17, 1.1, 28}, {0.11, 0.13, 2.0, 22},
                                      {0.31, -0.19, 0.7, 14}, {0.03, 0.29, 2.9, 16}, {0.45, 0.37, 1.7, 8}};
    double value = 120.0 + offset;
    for (const auto& w : waves) value += w[3] * std::sin(w[0] * u + w[1] * v + w[2]);
    return value;
}

// The motion of frame t: texture plane -> image. The region is the texture square [0, 80]^2.
inline mat3 motion(int t) {
    const double s = 1.0 + 0.1 * std::sin(0.05 * t);
    const double a = 0.08 * std::sin(0.04 * t);
    const double px = 4e-4 * std::sin(0.03 * t);
    const mat3 centre{1, 0, -40, 0, 1, -40, 0, 0, 1};
    const mat3 similarity{s * std::cos(a), -s * std::sin(a), 160 + 60 * std::sin(0.06 * t),
                          s * std::sin(a), s * std::cos(a), 120 + 30 * std::sin(0.05 * t), 0, 0, 1};
    const mat3 perspective{1, 0, 0, 0, 1, 0, px, 0, 1};
    return mul(similarity, mul(perspective, centre));
}

// The region's corners in frame t, in the order (0,0), (80,0), (80,80), (0,80) of the texture.
inline std::array<double, 8> truth(const mat3& m) {
    std::array<double, 8> c{};
    const double sq[4][2] = {{0, 0}, {80, 0}, {80, 80}, {0, 80}};
    for (int k = 0; k < 4; ++k) {
        const auto p = apply(m, sq[k][0], sq[k][1]);
        c[2 * k] = p[0];
        c[2 * k + 1] = p[1];
    }
    return c;
}

// The region as a host selects it: whole pixels, negative coordinates as their 32-bit wrap.
inline Select selection(const mat3& m) {
    const auto c = truth(m);
    const auto at = [&c](int k) { return static_cast<std::uint32_t>(static_cast<std::int64_t>(c[k])); };
    return Select{at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7)};
}

// The eight coordinates of a selection, read as signed.
inline std::array<std::int32_t, 8> coordinates(const Select& s) {
    return {std::int32_t(s.x1), std::int32_t(s.y1), std::int32_t(s.x2), std::int32_t(s.y2),
            std::int32_t(s.x3), std::int32_t(s.y3), std::int32_t(s.x4), std::int32_t(s.y4)};
}

// width x height frame, byte x + width * y = pixel (x, y).
inline std::vector<std::uint8_t> render(const mat3& m, int width, int height, double offset = 0.0) {
    const mat3 back = inverse(m);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto uv = apply(back, x, y);
            const double v = std::round(texture(uv[0], uv[1], offset));
            frame[static_cast<std::size_t>(x) + static_cast<std::size_t>(width) * y] =
                static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    return frame;
}

// Fixed-seed grey-level noise: a frame with no texture to match.
inline std::vector<std::uint8_t> noise(std::uint32_t seed, std::size_t bytes) {
    std::vector<std::uint8_t> frame(bytes);
    for (auto& v : frame) v = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    return frame;
}

}  // namespace synthetic

#endif
