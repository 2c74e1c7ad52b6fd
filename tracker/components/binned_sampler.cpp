#include "tracker/components/binned_sampler.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/array/as_hindex.hpp"

namespace track {
namespace {

void binInto(const mlx::matrix<unsigned char>& image, std::size_t i0, std::size_t i1, std::size_t j0, std::size_t j1,
             mlx::matrix<unsigned char>& out) {
    const std::size_t W = image.rows();
    for (std::size_t j = j0; j < j1; ++j) {
        const unsigned char* a = image.data() + 2 * j * W;
        const unsigned char* b = a + W;
        for (std::size_t i = i0; i < i1; ++i)
            out(i, j) = static_cast<unsigned char>((a[2 * i] + a[2 * i + 1] + b[2 * i] + b[2 * i + 1] + 2) / 4);
    }
}

}  // namespace

const mlx::geometry::homog& binnedSampler::fromFrame() {
    static const mlx::geometry::homog S(mlx::matrix<double>{{0.5, 0.0, -0.25}, {0.0, 0.5, -0.25}, {0.0, 0.0, 1.0}});
    return S;
}

void binnedSampler::bin(const mlx::matrix<unsigned char>& image, mlx::matrix<unsigned char>& out) {
    out.resize(image.rows() / 2, image.cols() / 2);
    binInto(image, 0, out.rows(), 0, out.cols(), out);
}

bool binnedSampler::suits(const mlx::matrix<double>& samples, std::size_t side) const {
    double sides = 0.0;
    for (std::size_t c = 0; c < 4; ++c) {
        const std::size_t d = (c + 1) % 4;
        sides += std::hypot(corners(0, c) / corners(2, c) - corners(0, d) / corners(2, d),
                            corners(1, c) / corners(2, c) - corners(1, d) / corners(2, d));
    }
    if (!(sides / 4.0 / static_cast<double>(side) >= spacing)) return false;
    std::size_t nearEnds = 0;
    for (std::size_t m = 0; m < samples.numel(); ++m)
        nearEnds += samples(m) <= endMargin || samples(m) >= 255.0 - endMargin;
    return static_cast<double>(nearEnds) <= endShare * static_cast<double>(samples.numel());
}

void binnedSampler::read(const mlx::matrix<unsigned char>& frame, const mlx::geometry::homog& H,
                         const mlx::matrix<double>& grid, mlx::matrix<double>& points, mlx::matrix<double>& samples) {
    if (!decided) {
        sampler::read(frame, H, grid, points, samples);
        decided = true;
        binned = suits(samples, static_cast<std::size_t>(std::lround(std::sqrt(static_cast<double>(grid.cols())))));
        if (!binned) return;
    }
    if (!binned) {
        sampler::read(frame, H, grid, points, samples);
        return;
    }
    // The grid mapped and normalised as homog::applyto and normalize_h do it, value for value, in
    // one pass that also finds the part of the binned frame the points read.
    const mlx::geometry::homog M = fromFrame() * H;
    const double* h = M.mat().data();
    const std::size_t n = grid.cols();
    points.resize(3, n);
    const double rowsBinned = static_cast<double>(frame.rows() / 2), colsBinned = static_cast<double>(frame.cols() / 2);
    bounds b;
    const double* g = grid.data();
    double* o = points.data();
    for (std::size_t m = 0; m < n; ++m, g += 3, o += 3) {
        const double w = h[2] * g[0] + h[5] * g[1] + h[8] * g[2];
        const double i = (h[0] * g[0] + h[3] * g[1] + h[6] * g[2]) / w;
        const double j = (h[1] * g[0] + h[4] * g[1] + h[7] * g[2]) / w;
        o[0] = i;
        o[1] = j;
        o[2] = std::isfinite(w) && w != 0.0 ? 1.0 : w / w;
        b.add(i, j, rowsBinned, colsBinned);
    }
    mlx::as_hindex(cover(frame, b), points, samples);
}

void binnedSampler::bounds::add(double i, double j, double rows, double cols) {
    // Points off the binned frame, or not finite, read no pixel.
    if (!(i >= 0.0 && j >= 0.0 && i < rows && j < cols)) return;
    lo_i = std::min(lo_i, i);
    hi_i = std::max(hi_i, i);
    lo_j = std::min(lo_j, j);
    hi_j = std::max(hi_j, j);
}

const mlx::matrix<unsigned char>& binnedSampler::cover(const mlx::matrix<unsigned char>& frame,
                                                 const mlx::matrix<double>& points) {
    bounds b;
    for (std::size_t m = 0; m < points.cols(); ++m)
        b.add(points(0, m), points(1, m), static_cast<double>(frame.rows() / 2), static_cast<double>(frame.cols() / 2));
    return cover(frame, b);
}

const mlx::matrix<unsigned char>& binnedSampler::cover(const mlx::matrix<unsigned char>& frame, const bounds& b) {
    if (binnedFrame.rows() != frame.rows() / 2 || binnedFrame.cols() != frame.cols() / 2) {
        binnedFrame.resize(frame.rows() / 2, frame.cols() / 2);
        newFrame();
    }
    // The pixels bilinear interpolation reads: those at and after each point.
    const double lo_i = b.lo_i, hi_i = b.hi_i, lo_j = b.lo_j, hi_j = b.hi_j;
    if (!(lo_i <= hi_i)) return binnedFrame;
    const span needRows{static_cast<std::size_t>(lo_i), std::min(binnedFrame.rows(), static_cast<std::size_t>(hi_i) + 2)};
    const span needCols{static_cast<std::size_t>(lo_j), std::min(binnedFrame.cols(), static_cast<std::size_t>(hi_j) + 2)};
    const auto inside = [](span need, span have) { return have.begin <= need.begin && need.end <= have.end; };
    if (inside(needRows, rows) && inside(needCols, cols)) return binnedFrame;
    // Later steps of the frame move the region a little: a margin of an eighth of its extent
    // saves binning again.
    const auto widen = [](span need, span have, std::size_t limit) {
        if (have.begin < have.end) need = {std::min(need.begin, have.begin), std::max(need.end, have.end)};
        const std::size_t margin = (need.end - need.begin) / 8 + 2;
        return span{need.begin > margin ? need.begin - margin : 0, std::min(limit, need.end + margin)};
    };
    rows = widen(needRows, rows, binnedFrame.rows());
    cols = widen(needCols, cols, binnedFrame.cols());
    binInto(frame, rows.begin, rows.end, cols.begin, cols.end, binnedFrame);
    return binnedFrame;
}

}  // namespace track
