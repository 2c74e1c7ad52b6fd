#include "tracker/components/camera_motion.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace track {
namespace {

// The fine level's smaller side at most this many pixels: a 320 x 240 frame is read at half size.
constexpr std::size_t kFineSide = 160;
// Gauss-Newton steps on each level at most (the fine one starts from the coarse one's end), and
// the least change of a translation, in pixels of the level, that steps on.
constexpr int kCoarseSteps = 6;
constexpr int kFineSteps = 4;
constexpr double kSettled = 0.05;
// Every kSparse-th pixel of a fine line is read when the motion since the reference starts from
// the last frame's.
constexpr long kSparse = 4;
// Pixels at the border of a level left out: what moves in from outside matches nothing.
constexpr long kBorder = 2;

// Solves the symmetric system A x = r (5 x 5) by elimination with partial pivoting; false when
// A is singular.
bool solve(std::array<double, 25>& A, std::array<double, 5>& r) {
    for (std::size_t k = 0; k < 5; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < 5; ++i)
            if (std::fabs(A[i * 5 + k]) > std::fabs(A[p * 5 + k])) p = i;
        if (!(std::fabs(A[p * 5 + k]) > 1e-12)) return false;
        for (std::size_t j = 0; j < 5; ++j) std::swap(A[k * 5 + j], A[p * 5 + j]);
        std::swap(r[k], r[p]);
        for (std::size_t i = k + 1; i < 5; ++i) {
            const double f = A[i * 5 + k] / A[k * 5 + k];
            for (std::size_t j = k; j < 5; ++j) A[i * 5 + j] -= f * A[k * 5 + j];
            r[i] -= f * r[k];
        }
    }
    for (std::size_t k = 5; k-- > 0;) {
        for (std::size_t j = k + 1; j < 5; ++j) r[k] -= A[k * 5 + j] * r[j];
        r[k] /= A[k * 5 + k];
    }
    return true;
}

}  // namespace

void cameraMotion::similarity::move(mlx::matrix<double, 12>& corners) const {
    for (std::size_t j = 0; j < 4; ++j) {
        const double x = corners(0, j) / corners(2, j), y = corners(1, j) / corners(2, j);
        corners(0, j) = a * x - b * y + tx;
        corners(1, j) = b * x + a * y + ty;
        corners(2, j) = 1.0;
    }
}

void cameraMotion::reduce(const mlx::matrix<unsigned char>& frame, level& f, level& c) {
    const std::size_t width = frame.rows(), height = frame.cols();
    scale = 1;
    while ((std::min(width, height) >> scale) > kFineSide) ++scale;
    const std::size_t b = std::size_t(1) << scale;
    f.width = width / b;
    f.height = height / b;
    f.pixels.assign(f.width * f.height, 0.0f);
    for (std::size_t y = 0; y < f.height; ++y)
        for (std::size_t v = 0; v < b; ++v) {
            const unsigned char* line = frame.data() + (y * b + v) * width;
            float* out = f.pixels.data() + y * f.width;
            for (std::size_t x = 0; x < f.width; ++x)
                for (std::size_t u = 0; u < b; ++u) out[x] += line[x * b + u];
        }
    for (float& p : f.pixels) p /= static_cast<float>(b * b);
    c.width = f.width / 2;
    c.height = f.height / 2;
    c.pixels.resize(c.width * c.height);
    for (std::size_t y = 0; y < c.height; ++y)
        for (std::size_t x = 0; x < c.width; ++x) {
            const float* p = f.pixels.data() + 2 * y * f.width + 2 * x;
            c.pixels[y * c.width + x] = (p[0] + p[1] + p[f.width] + p[f.width + 1]) / 4.0f;
        }
}

void cameraMotion::reference(const mlx::matrix<unsigned char>& frame) {
    reduce(frame, lastFine, lastCoarse);
    sinceReference = warp{};
    known = true;
}

// The sum of squared differences less their mean's share, which a change of light leaves alone.
cameraMotion::warp cameraMotion::coarseShift() const {
    constexpr long reach = 4;
    warp w;
    const long width = static_cast<long>(coarse.width), height = static_cast<long>(coarse.height);
    if (width <= 2 * reach || height <= 2 * reach) return w;
    const double n = static_cast<double>((width - 2 * reach) * (height - 2 * reach));
    double best = INFINITY;
    for (long sy = -reach; sy <= reach; ++sy)
        for (long sx = -reach; sx <= reach; ++sx) {
            double sum = 0.0, squares = 0.0;
            for (long y = reach; y < height - reach; ++y) {
                const float* from = lastCoarse.pixels.data() + y * width;
                const float* to = coarse.pixels.data() + (y + sy) * width + sx;
                float lineSum = 0.0f, lineSquares = 0.0f;
                for (long x = reach; x < width - reach; ++x) {
                    const float e = to[x] - from[x];
                    lineSum += e;
                    lineSquares += e * e;
                }
                sum += lineSum;
                squares += lineSquares;
            }
            const double misfit = squares - sum * sum / n;
            if (misfit < best) {
                best = misfit;
                w.tx = static_cast<double>(sx);
                w.ty = static_cast<double>(sy);
                w.offset = sum / n;
            }
        }
    return w;
}

// Each step weighs a pixel's misfit by Tukey's biweight, whose reach follows the median misfit of
// the textured pixels (4.685 x 1.4826 of it), and solves the weighted normal equations of the
// warp's five parameters with the reference's gradient, which the small motion between two frames
// leaves nearly as it is at the warped pixel. The misfit returned is the biweight's mean at the
// widest reach, comparable between starts.
void cameraMotion::align(const level& from, const level& to, warp& w, int steps, long stride, double& share,
                         double& misfit) {
    const long width = static_cast<long>(from.width), height = static_cast<long>(from.height);
    const double cx = (static_cast<double>(width) - 1.0) / 2.0, cy = (static_cast<double>(height) - 1.0) / 2.0;
    share = 0.0;
    misfit = INFINITY;
    if (width <= 2 * kBorder + 2 || height <= 2 * kBorder + 2) return;
    samples.clear();
    for (long y = kBorder; y < height - kBorder; ++y)
        for (long x = kBorder + (y % stride); x < width - kBorder; x += stride) {
            const float* p = from.pixels.data() + y * width + x;
            const float fx = (p[1] - p[-1]) / 2.0f, fy = (p[width] - p[-width]) / 2.0f;
            if (std::fabs(fx) + std::fabs(fy) >= flat)
                samples.push_back({static_cast<float>(static_cast<double>(x) - cx), static_cast<float>(static_cast<double>(y) - cy), fx, fy, *p});
        }
    if (samples.empty()) return;
    const float* g = to.pixels.data();
    double reachOf = mostReach;
    for (int step = 0; step <= steps; ++step) {
        std::array<double, 25> A{};
        std::array<double, 5> r{};
        residuals.clear();
        std::size_t within = 0;
        double total = 0.0;
        for (const sample& p : samples) {
            const double u = cx + (1.0 + w.a) * p.x - w.b * p.y + w.tx, v = cy + w.b * p.x + (1.0 + w.a) * p.y + w.ty;
            if (!(u >= 0.0 && v >= 0.0 && u < static_cast<double>(width - 1) && v < static_cast<double>(height - 1))) continue;
            const long i = static_cast<long>(u), j = static_cast<long>(v);
            const double s = u - static_cast<double>(i), t = v - static_cast<double>(j);
            const float* q = g + j * width + i;
            const double e = (1.0 - t) * ((1.0 - s) * q[0] + s * q[1]) + t * ((1.0 - s) * q[width] + s * q[width + 1]) - p.value - w.offset;
            residuals.push_back(static_cast<float>(std::fabs(e)));
            const double fixed = std::min(1.0, e * e / (mostReach * mostReach));
            total += 1.0 - (1.0 - fixed) * (1.0 - fixed) * (1.0 - fixed);
            const double ratio = e / reachOf;
            if (!(ratio * ratio < 1.0)) continue;
            ++within;
            const double weight = (1.0 - ratio * ratio) * (1.0 - ratio * ratio);
            const double J[5] = {p.fx * p.x + p.fy * p.y, p.fy * p.x - p.fx * p.y, p.fx, p.fy, -1.0};
            for (std::size_t m = 0; m < 5; ++m) {
                const double wj = weight * J[m];
                r[m] -= wj * e;
                for (std::size_t k = m; k < 5; ++k) A[m * 5 + k] += wj * J[k];
            }
        }
        if (residuals.empty()) return;
        share = static_cast<double>(within) / static_cast<double>(samples.size());
        misfit = total / static_cast<double>(residuals.size());
        std::nth_element(residuals.begin(), residuals.begin() + static_cast<long>(residuals.size() / 2), residuals.end());
        reachOf = std::clamp(4.685 * 1.4826 * residuals[residuals.size() / 2], leastReach, mostReach);
        if (step == steps) return;
        for (std::size_t m = 0; m < 5; ++m)
            for (std::size_t k = 0; k < m; ++k) A[m * 5 + k] = A[k * 5 + m];
        if (!solve(A, r)) return;
        w.a += r[0];
        w.b += r[1];
        w.tx += r[2];
        w.ty += r[3];
        w.offset += r[4];
        if (std::hypot(r[2], r[3]) < kSettled && std::fabs(r[0]) + std::fabs(r[1]) < kSettled / static_cast<double>(width))
            step = steps - 1;
    }
}

bool cameraMotion::next(const mlx::matrix<unsigned char>& frame, similarity& motion) {
    reduce(frame, fine, coarse);
    const bool comparable = known && fine.width == lastFine.width && fine.height == lastFine.height;
    known = true;
    warp best;
    double share = 0.0;
    if (comparable) {
        // From rest and from the coarse level's best shift (a fast pan), the one that misfits less.
        const warp shifted = coarseShift();
        double misfit = INFINITY;
        for (int start = 0; start < (shifted.tx != 0.0 || shifted.ty != 0.0 ? 2 : 1); ++start) {
            warp w = start == 0 ? warp{} : shifted;
            double s = 0.0, m = 0.0;
            align(lastCoarse, coarse, w, kCoarseSteps, 1, s, m);
            if (m < misfit) {
                misfit = m;
                best = w;
            }
        }
        best.tx *= 2.0;
        best.ty *= 2.0;
        align(lastFine, fine, best, kFineSteps, 2, share, misfit);
    }
    std::swap(fine, lastFine);
    std::swap(coarse, lastCoarse);
    return inFrame(best, share, frame, motion);
}

bool cameraMotion::since(const mlx::matrix<unsigned char>& frame, similarity& motion) {
    reduce(frame, fine, coarse);
    if (!(known && fine.width == lastFine.width && fine.height == lastFine.height)) return false;
    // The last frame's motion is a close start: sparse steps on the fine level alone, unless they
    // leave too much misaligned (a fast pan), when the coarse level leads.
    warp w = sinceReference;
    double share = 0.0, misfit = 0.0;
    align(lastFine, fine, w, kFineSteps, kSparse, share, misfit);
    if (!(share >= aligned)) {
        w = sinceReference;
        w.tx /= 2.0;
        w.ty /= 2.0;
        align(lastCoarse, coarse, w, kCoarseSteps, 1, share, misfit);
        w.tx *= 2.0;
        w.ty *= 2.0;
        align(lastFine, fine, w, kFineSteps, 2, share, misfit);
    }
    similarity found;
    if (!inFrame(w, share, frame, found)) return false;
    sinceReference = w;
    motion = found;
    return true;
}

bool cameraMotion::inFrame(const warp& best, double share, const mlx::matrix<unsigned char>& frame, similarity& motion) const {
    const double turn = std::atan2(best.b, 1.0 + best.a), zoom = std::hypot(1.0 + best.a, best.b);
    if (!(share >= aligned && std::fabs(turn) <= largestTurn && std::fabs(zoom - 1.0) <= largestZoom)) return false;
    // From the fine level's centred pixels to the frame's: frame x = 2^scale x + (2^scale - 1) / 2.
    const double b = std::ldexp(1.0, static_cast<int>(scale)), c = (b - 1.0) / 2.0;
    const double ox = b * (static_cast<double>(lastFine.width) - 1.0) / 2.0 + c;
    const double oy = b * (static_cast<double>(lastFine.height) - 1.0) / 2.0 + c;
    similarity found{1.0 + best.a, best.b, 0.0, 0.0};
    found.tx = ox + b * best.tx - (found.a * ox - found.b * oy);
    found.ty = oy + b * best.ty - (found.b * ox + found.a * oy);
    // A motion that moves no corner of the frame by `rest` is taken for none: a still camera's
    // held corners stay where they are rather than wander by the estimates' hundredths of a pixel.
    double farthest = 0.0;
    for (const double x : {0.0, static_cast<double>(frame.rows())})
        for (const double y : {0.0, static_cast<double>(frame.cols())})
            farthest = std::max(farthest, std::hypot(found.a * x - found.b * y + found.tx - x, found.b * x + found.a * y + found.ty - y));
    if (farthest < rest) return false;
    motion = found;
    return true;
}

}  // namespace track
