#include "tracker/components/lost_state.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace track {
namespace {

// Twice the signed area of the triangle o, a, b of a quad's corners.
double cross(const mlx::matrix<double>& c, std::size_t o, std::size_t a, std::size_t b) {
    return (c(0, a) - c(0, o)) * (c(1, b) - c(1, o)) - (c(1, a) - c(1, o)) * (c(0, b) - c(0, o));
}

double area(const mlx::matrix<double>& c) { return 0.5 * std::fabs(cross(c, 0, 1, 2) + cross(c, 0, 2, 3)); }

}  // namespace

void lostState::select(const mlx::matrix<double, 12>& corners) { selected = area(mlx::matrix<double>(corners)); }

std::string nonFinite(const mlx::matrix<double>& c) {
    for (std::size_t j = 0; j < 4; ++j)
        for (std::size_t i = 0; i < 2; ++i)
            if (!std::isfinite(c(i, j))) {
                std::ostringstream text;
                text << "corner " << j + 1 << " estimate " << c(i, j);
                return text.str();
            }
    return {};
}

std::string lostState::shapeVerdict(const mlx::matrix<double>& c, std::size_t width, std::size_t height) const {
    if (std::string why = nonFinite(c); !why.empty()) return why;
    // Convex and not crossed: every turn along the corners has the same sense.
    double turns[4];
    for (std::size_t j = 0; j < 4; ++j) turns[j] = cross(c, j, (j + 1) % 4, (j + 2) % 4);
    const bool left = std::all_of(turns, turns + 4, [](double t) { return t > 0.0; });
    const bool right = std::all_of(turns, turns + 4, [](double t) { return t < 0.0; });
    if (!left && !right) return "the quad is crossed or not convex";
    const double a = area(c);
    std::ostringstream text;
    if (!(a * areaRatio >= selected && a <= areaRatio * selected)) {
        text << "the quad's area " << a << " is far from the selection's " << selected;
        return text.str();
    }
    for (std::size_t j = 0; j < 4; ++j) {
        const double side = std::hypot(c(0, (j + 1) % 4) - c(0, j), c(1, (j + 1) % 4) - c(1, j));
        if (side < shortestSide * std::sqrt(selected)) {
            text << "side " << j + 1 << " of the quad has collapsed to " << side << " px";
            return text.str();
        }
    }
    if (insideShare(c, width, height) < minimumInside) return "the region is mostly off the frame";
    return {};
}

double lostState::insideShare(const mlx::matrix<double>& c, std::size_t width, std::size_t height) {
    int inside = 0;
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            const double s = (u + 0.5) / 8.0, t = (v + 0.5) / 8.0;
            const double x = (1 - s) * (1 - t) * c(0, 0) + s * (1 - t) * c(0, 1) + s * t * c(0, 2) + (1 - s) * t * c(0, 3);
            const double y = (1 - s) * (1 - t) * c(1, 0) + s * (1 - t) * c(1, 1) + s * t * c(1, 2) + (1 - s) * t * c(1, 3);
            inside += x >= 0.0 && y >= 0.0 && x <= static_cast<double>(width) - 1.0 && y <= static_cast<double>(height) - 1.0;
        }
    return inside / 64.0;
}

std::string lostState::verdict(double score, const mlx::matrix<double>& corners, std::size_t width,
                               std::size_t height, bool diverging) const {
    if (!on()) return {};
    if (!(score >= threshold)) {
        std::ostringstream why;
        why << "match score " << score << " below " << threshold;
        return why.str();
    }
    std::string why = shapeVerdict(corners, width, height);
    if (why.empty() && diverging) why = "the steps diverge";
    return why;
}

double matchScore(const mlx::matrix<double>& difference) {
    if (difference.empty()) return std::nan("");
    double squares = 0.0;
    for (std::size_t m = 0; m < difference.numel(); ++m) squares += difference(m) * difference(m);
    return 1.0 - 0.5 * squares;
}

}  // namespace track
