#include "tracker/components/reacquisition.hpp"

#include <algorithm>
#include <climits>
#include <cmath>

#include "mlx/array/as_hindex.hpp"
#include "mlx/geometry/homog.hpp"

namespace track {
namespace {

const mlx::matrix<double, 12> kSquare{{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};

// Scales and turns (radians) searched, the likeliest first: a camera's shake turns and zooms
// by a few percent and degrees.
constexpr double kScales[] = {1.0, 0.87, 1.15};
constexpr double kTurns[] = {0.0, -0.15, 0.15};
// The steps between them, halved around the places found.
constexpr double fineScale = 1.07;
constexpr double fineTurn = 0.075;

}  // namespace

reacquisition::reacquisition(double accept_, const mlx::matrix<double, 12>& corners,
                             const mlx::matrix<unsigned char>& image)
    : accept(accept_) {
    double sides = 0.0;
    for (std::size_t c = 0; c < 4; ++c)
        sides += std::hypot(corners(0, (c + 1) % 4) - corners(0, c), corners(1, (c + 1) % 4) - corners(1, c));
    // The coarse level keeps the region at 16 pixels or more, and the frame at 16 or more a side.
    const double frameSide = static_cast<double>(std::min(image.rows(), image.cols()));
    while (sides / 4.0 / std::ldexp(1.0, static_cast<int>(level) + 1) >= 16.0 &&
           frameSide / std::ldexp(1.0, static_cast<int>(level) + 1) >= 16.0)
        ++level;
    reduce(image);
    if (coarseWidth == 0 || coarseHeight == 0) return;
    std::array<double, 2 * side * side> points;
    gridOf(corners, points);
    mlx::matrix<unsigned char> view;
    view.assign(coarse.data(), coarseWidth, coarseHeight);
    mlx::matrix<double> at(3, side * side), levels;
    for (std::size_t m = 0; m < side * side; ++m) {
        at(0, m) = points[2 * m];
        at(1, m) = points[2 * m + 1];
        at(2, m) = 1.0;
    }
    mlx::as_hindex(view, at, levels);
    double mean = 0.0, squares = 0.0;
    for (double v : levels) mean += v / static_cast<double>(side * side);
    for (double v : levels) squares += (v - mean) * (v - mean);
    usable = squares > 0.0;
    for (std::size_t m = 0; m < side * side && usable; ++m) reference[m] = (levels(m) - mean) / std::sqrt(squares);
    best.reserve(kept + 1);
    starts.reserve(kept);
    if (usable) {
        firstView = std::move(view);
        firstAt = std::move(at);
        apart = sides / 8.0 / std::ldexp(1.0, static_cast<int>(level));
    }
}

bool reacquisition::repeated() {
    if (!firstView.empty()) {
        repeats = repeatedOn(firstView, firstAt, apart);
        firstView = mlx::matrix<unsigned char>();
        firstAt = mlx::matrix<double>();
    }
    return repeats;
}

// The grid read as the reference is read (bilinear, truncated), moved by whole pixels of the
// level: the region itself matches with 1, and so does an exact copy elsewhere. A whole-pixel move
// keeps every point's interpolation weights, so only the base pixel moves.
bool reacquisition::repeatedOn(const mlx::matrix<unsigned char>& view, const mlx::matrix<double>& at, double apart) const {
    constexpr std::size_t n = side * side;
    std::array<long, 2 * n> base;
    std::array<float, 2 * n> weight;
    long low[2] = {LONG_MAX, LONG_MAX}, high[2] = {LONG_MIN, LONG_MIN};
    const double last[2] = {static_cast<double>(view.rows()) - 1.0, static_cast<double>(view.cols()) - 1.0};
    for (std::size_t m = 0; m < n; ++m)
        for (std::size_t i = 0; i < 2; ++i) {
            // A region not wholly on the first frame (or not finite) is read partly as zeros: no
            // copy of it is sought.
            if (!(at(i, m) >= 0.0 && at(i, m) <= last[i])) return false;
            const double floor = std::floor(at(i, m));
            base[2 * m + i] = static_cast<long>(floor);
            weight[2 * m + i] = static_cast<float>(at(i, m) - floor);
            low[i] = std::min(low[i], base[2 * m + i]);
            high[i] = std::max(high[i], base[2 * m + i] + (weight[2 * m + i] > 0.0f));
        }
    const long width = static_cast<long>(view.rows()), height = static_cast<long>(view.cols());
    const unsigned char* pixels = view.data();
    std::array<double, n> levels;
    for (long dy = -low[1]; dy + high[1] < height; ++dy)
        for (long dx = -low[0]; dx + high[0] < width; ++dx) {
            if (std::hypot(double(dx), double(dy)) < apart) continue;
            for (std::size_t m = 0; m < n; ++m) {
                const float a = weight[2 * m], b = weight[2 * m + 1];
                const unsigned char* p = pixels + (base[2 * m] + dx) + width * (base[2 * m + 1] + dy);
                const float v10 = a > 0.0f ? p[1] : 0.0f, v01 = b > 0.0f ? p[width] : 0.0f;
                const float v11 = a > 0.0f && b > 0.0f ? p[width + 1] : 0.0f;
                const float v = (1.0f - a) * (1.0f - b) * p[0] + a * (1.0f - b) * v10 + (1.0f - a) * b * v01 + a * b * v11;
                levels[m] = static_cast<double>(static_cast<int>(v));
            }
            double sum = 0.0, squares = 0.0, dot = 0.0;
            for (std::size_t m = 0; m < n; ++m) {
                sum += levels[m];
                squares += levels[m] * levels[m];
                dot += levels[m] * reference[m];
            }
            const double spread = squares - sum * sum / static_cast<double>(n);
            if (spread > 0.0 && dot / std::sqrt(spread) >= repeatedAbove) return true;
        }
    return false;
}

void reacquisition::reduce(const mlx::matrix<unsigned char>& frame) {
    const std::size_t b = std::size_t(1) << level;
    coarseWidth = frame.rows() / b;
    coarseHeight = frame.cols() / b;
    coarse.assign(coarseWidth * coarseHeight, 0);
    const std::size_t W = frame.rows();
    for (std::size_t y = 0; y < coarseHeight; ++y)
        for (std::size_t x = 0; x < coarseWidth; ++x) {
            unsigned sum = 0;
            for (std::size_t v = 0; v < b; ++v) {
                const unsigned char* line = frame.data() + (y * b + v) * W + x * b;
                for (std::size_t u = 0; u < b; ++u) sum += line[u];
            }
            coarse[y * coarseWidth + x] = static_cast<unsigned char>((sum + b * b / 2) / (b * b));
        }
}

// Cell centres of the unit square, through the region's homography, in coarse pixels: frame
// point x lies at (x - (2^level - 1) / 2) / 2^level.
void reacquisition::gridOf(const mlx::matrix<double, 12>& corners, std::array<double, 2 * side * side>& points) const {
    const mlx::geometry::homog H(kSquare, corners, true);
    mlx::matrix<double> unit(3, side * side), mapped;
    for (std::size_t m = 0; m < side * side; ++m) {
        unit(0, m) = (static_cast<double>(m % side) + 0.5) / side;
        unit(1, m) = (static_cast<double>(m / side) + 0.5) / side;
        unit(2, m) = 1.0;
    }
    H.applyto(unit, mapped);
    mlx::geometry::normalize_h(mapped);
    const double b = std::ldexp(1.0, static_cast<int>(level));
    for (std::size_t m = 0; m < side * side; ++m) {
        points[2 * m] = (mapped(0, m) - (b - 1.0) / 2.0) / b;
        points[2 * m + 1] = (mapped(1, m) - (b - 1.0) / 2.0) / b;
    }
}

bool reacquisition::keepsShape(const mlx::matrix<double, 12>& found, const mlx::matrix<double, 12>& sought) {
    static const std::size_t pairs[6][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 2}, {1, 3}};
    double ratios[6], product = 1.0;
    for (std::size_t p = 0; p < 6; ++p) {
        const auto length = [&](const mlx::matrix<double, 12>& c) {
            return std::hypot(c(0, pairs[p][1]) - c(0, pairs[p][0]), c(1, pairs[p][1]) - c(1, pairs[p][0]));
        };
        ratios[p] = length(found) / length(sought);
        product *= ratios[p];
    }
    const double scale = std::pow(product, 1.0 / 6.0);
    if (!(scale <= maxScale && scale * maxScale >= 1.0)) return false;
    return std::all_of(ratios, ratios + 6, [&](double r) { return r <= maxWarp * scale && r * maxWarp >= scale; });
}

const std::vector<mlx::matrix<double, 12>>& reacquisition::candidates(const mlx::matrix<unsigned char>& frame,
                                                                      const mlx::matrix<double, 12>& held) {
    starts.clear();
    if (!usable) return starts;
    reduce(frame);
    std::array<double, 2 * side * side> points;
    gridOf(held, points);
    double cx = 0.0, cy = 0.0;
    for (std::size_t m = 0; m < side * side; ++m) {
        cx += points[2 * m] / (side * side);
        cy += points[2 * m + 1] / (side * side);
    }
    const std::size_t n = side * side;
    // A shape wider than the frame (or not finite) fits nowhere on it, at any scale searched.
    double reach = 0.0;
    for (std::size_t m = 0; m < n; ++m) reach = std::max({reach, std::fabs(points[2 * m] - cx), std::fabs(points[2 * m + 1] - cy)});
    if (!(2.0 * reach * kScales[2] * fineScale < static_cast<double>(std::max(coarseWidth, coarseHeight)))) return starts;
    const std::size_t positions = coarseWidth * coarseHeight * std::size(kScales) * std::size(kTurns);
    const std::size_t stride = positions > budget ? static_cast<std::size_t>(std::ceil(std::sqrt(double(positions) / budget))) : 1;
    best.clear();
    const auto keep = [&](const place& p) {
        // Places closer than two coarse pixels are one: the better stays.
        for (place& q : best)
            if (std::fabs(q.x - p.x) < 2.0 && std::fabs(q.y - p.y) < 2.0) {
                if (p.score > q.score) q = p;
                return;
            }
        best.push_back(p);
        std::sort(best.begin(), best.end(), [](const place& a, const place& b) { return a.score > b.score; });
        if (best.size() > kept) best.pop_back();
    };
    // Correlates the reference with the frame at the grid turned and scaled about its centre, at
    // every stride-th position of [x0, x1] x [y0, y1] where the whole grid lies on the frame.
    const auto scan = [&](double scale, double turn, long x0, long x1, long y0, long y1, long step, const auto& sink) {
        const double c = scale * std::cos(turn), s = scale * std::sin(turn);
        std::array<long, side * side> offset;
        long lowX = 0, highX = 0, lowY = 0, highY = 0;
        for (std::size_t m = 0; m < n; ++m) {
            const double ox = points[2 * m] - cx, oy = points[2 * m + 1] - cy;
            const long dx = std::lround(c * ox - s * oy), dy = std::lround(s * ox + c * oy);
            lowX = std::min(lowX, dx);
            highX = std::max(highX, dx);
            lowY = std::min(lowY, dy);
            highY = std::max(highY, dy);
            offset[m] = dx + dy * static_cast<long>(coarseWidth);
        }
        const long width = static_cast<long>(coarseWidth), height = static_cast<long>(coarseHeight);
        for (long y = std::max(y0, -lowY); y <= y1 && y + highY < height; y += step)
            for (long x = std::max(x0, -lowX); x <= x1 && x + highX < width; x += step) {
                const unsigned char* at = coarse.data() + y * width + x;
                double sum = 0.0, squares = 0.0, dot = 0.0;
                for (std::size_t m = 0; m < n; ++m) {
                    const double v = at[offset[m]];
                    sum += v;
                    squares += v * v;
                    dot += v * reference[m];
                }
                const double spread = squares - sum * sum / static_cast<double>(n);
                if (!(spread > 0.0)) continue;
                sink(place{dot / std::sqrt(spread), double(x), double(y), scale, turn});
            }
    };
    const auto ranked = [&](const place& p) {
        if (best.size() < kept || p.score > best.back().score) keep(p);
    };
    const long whole = static_cast<long>(std::max(coarseWidth, coarseHeight));
    for (double scale : kScales)
        for (double turn : kTurns) scan(scale, turn, 0, whole, 0, whole, static_cast<long>(stride), ranked);
    // Then each place closer: every position within the stride, finer scales and turns.
    for (place& p : best) {
        place closer = p;
        const auto better = [&](const place& q) {
            if (q.score > closer.score) closer = q;
        };
        const long r = static_cast<long>(stride), x = static_cast<long>(p.x), y = static_cast<long>(p.y);
        for (double scale : {p.scale / fineScale, p.scale, p.scale * fineScale})
            for (double turn : {p.turn - fineTurn, p.turn, p.turn + fineTurn}) scan(scale, turn, x - r, x + r, y - r, y + r, 1, better);
        p = closer;
    }
    // Each place as the held region moved onto it, in frame pixels.
    const double b = std::ldexp(1.0, static_cast<int>(level));
    const double fromX = cx * b + (b - 1.0) / 2.0, fromY = cy * b + (b - 1.0) / 2.0;
    for (const place& p : best) {
        const double toX = p.x * b + (b - 1.0) / 2.0, toY = p.y * b + (b - 1.0) / 2.0;
        const double c = p.scale * std::cos(p.turn), s = p.scale * std::sin(p.turn);
        mlx::matrix<double, 12> moved(3, 4);
        for (std::size_t j = 0; j < 4; ++j) {
            const double ox = held(0, j) / held(2, j) - fromX, oy = held(1, j) / held(2, j) - fromY;
            moved(0, j) = toX + c * ox - s * oy;
            moved(1, j) = toY + s * ox + c * oy;
            moved(2, j) = 1.0;
        }
        starts.push_back(moved);
    }
    return starts;
}

}  // namespace track
