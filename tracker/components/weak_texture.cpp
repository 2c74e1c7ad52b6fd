#include "tracker/components/weak_texture.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "tracker/components/camera_motion.hpp"

namespace track {
namespace {

constexpr std::size_t kFlatGrid = 32;   // points a side read for the flat share
constexpr std::size_t kMatchGrid = 16;  // and for the correlation
constexpr std::size_t kDirections = 32;
constexpr double kShift = 0.25;  // of the square root of the region's area

// Point (u, v) of the unit square on the quad, blending its corners.
struct quad {
    std::array<double, 4> x{}, y{};
    explicit quad(const mlx::matrix<double, 12>& corners) {
        for (std::size_t j = 0; j < 4; ++j) {
            x[j] = corners(0, j) / corners(2, j);
            y[j] = corners(1, j) / corners(2, j);
        }
    }
    void at(std::size_t i, std::size_t k, std::size_t n, double& px, double& py) const {
        const double u = (static_cast<double>(k) + 0.5) / static_cast<double>(n);
        const double v = (static_cast<double>(i) + 0.5) / static_cast<double>(n);
        const double w[4] = {(1 - u) * (1 - v), u * (1 - v), u * v, (1 - u) * v};
        for (std::size_t j = 0; j < 4; ++j) {
            px += w[j] * x[j];
            py += w[j] * y[j];
        }
    }
};

}  // namespace

bool weakTexture::weak(const mlx::matrix<double, 12>& corners, const mlx::matrix<unsigned char>& image, double flat) {
    return flatShare(corners, image) >= flat && shiftedMatch(corners, image) >= selfMatch;
}

double weakTexture::flatShare(const mlx::matrix<double, 12>& corners, const mlx::matrix<unsigned char>& image) {
    const long width = static_cast<long>(image.rows()), height = static_cast<long>(image.cols());
    const quad q(corners);
    std::size_t read = 0, flat = 0;
    for (std::size_t i = 0; i < kFlatGrid; ++i)
        for (std::size_t k = 0; k < kFlatGrid; ++k) {
            double px = 0.0, py = 0.0;
            q.at(i, k, kFlatGrid, px, py);
            const long a = std::lround(px), b = std::lround(py);
            if (!(a >= 1 && b >= 1 && a < width - 1 && b < height - 1)) continue;
            const unsigned char* p = image.data() + b * width + a;
            const double fx = (p[1] - p[-1]) / 2.0, fy = (p[width] - p[-width]) / 2.0;
            ++read;
            if (std::fabs(fx) + std::fabs(fy) < cameraMotion::flat) ++flat;
        }
    return read == 0 ? 0.0 : static_cast<double>(flat) / static_cast<double>(read);
}

double weakTexture::shiftedMatch(const mlx::matrix<double, 12>& corners, const mlx::matrix<unsigned char>& image) {
    const std::size_t width = image.rows(), height = image.cols();
    const quad q(corners);
    double area = 0.0;
    for (std::size_t j = 0; j < 4; ++j) area += q.x[j] * q.y[(j + 1) % 4] - q.x[(j + 1) % 4] * q.y[j];
    const double shift = kShift * std::sqrt(std::fabs(area) / 2.0);
    using pattern = std::array<double, kMatchGrid * kMatchGrid>;
    // Zero-mean, unit-norm pattern of the region moved by (dx, dy); false when off the image or uniform.
    const auto read = [&](double dx, double dy, pattern& out) {
        double sum = 0.0;
        for (std::size_t i = 0; i < kMatchGrid; ++i)
            for (std::size_t k = 0; k < kMatchGrid; ++k) {
                double px = dx, py = dy;
                q.at(i, k, kMatchGrid, px, py);
                if (!(px >= 0.0 && py >= 0.0 && px < static_cast<double>(width - 1) && py < static_cast<double>(height - 1)))
                    return false;
                const std::size_t a = static_cast<std::size_t>(px), b = static_cast<std::size_t>(py);
                const double s = px - static_cast<double>(a), t = py - static_cast<double>(b);
                const unsigned char* p = image.data() + b * width + a;
                const double g = (1 - t) * ((1 - s) * p[0] + s * p[1]) + t * ((1 - s) * p[width] + s * p[width + 1]);
                out[i * kMatchGrid + k] = g;
                sum += g;
            }
        double squares = 0.0;
        for (double& g : out) {
            g -= sum / static_cast<double>(out.size());
            squares += g * g;
        }
        if (!(squares > 0.0)) return false;
        for (double& g : out) g /= std::sqrt(squares);
        return true;
    };
    pattern own{}, moved{};
    if (!read(0.0, 0.0, own)) return -1.0;
    double best = -1.0;
    for (std::size_t k = 0; k < kDirections; ++k) {
        const double angle = 2.0 * M_PI * static_cast<double>(k) / static_cast<double>(kDirections);
        if (!read(shift * std::cos(angle), shift * std::sin(angle), moved)) continue;
        double dot = 0.0;
        for (std::size_t m = 0; m < own.size(); ++m) dot += own[m] * moved[m];
        best = std::max(best, dot);
    }
    return best;
}

}  // namespace track
