#include "tracker/components/binned_sampler.hpp"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "mlx/array/as_hindex.hpp"
#include "mlx/tool/cpu.hpp"

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

// Point m of the grid (3 x n) through h (3 x 3, column-major) into o (3 x n): as homog::applyto
// and normalize_h give it.
void mapOne(const double* h, const double* g, double* o) {
    const double w = h[2] * g[0] + h[5] * g[1] + h[8] * g[2];
    o[0] = (h[0] * g[0] + h[3] * g[1] + h[6] * g[2]) / w;
    o[1] = (h[1] * g[0] + h[4] * g[1] + h[7] * g[2]) / w;
    o[2] = std::isfinite(w) && w != 0.0 ? 1.0 : w / w;
}

#if defined(__x86_64__) || defined(__i386__)
// Four points at a time while their w are finite and not 0: the same products, sums and
// quotients in the same order, unfused. Returns how many points it mapped.
[[gnu::target("avx2")]] std::size_t mapFourAtATime(const double* h, const double* g, double* o, std::size_t n) {
    __m256d c[9];
    for (std::size_t k = 0; k < 9; ++k) c[k] = _mm256_set1_pd(h[k]);
    const __m256d infinity = _mm256_set1_pd(INFINITY), zero = _mm256_setzero_pd();
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
    alignas(32) double i[4], j[4];
    std::size_t m = 0;
    for (; m + 4 <= n; m += 4) {
        const double* q = g + 3 * m;
        const __m256d g0 = _mm256_set_pd(q[9], q[6], q[3], q[0]), g1 = _mm256_set_pd(q[10], q[7], q[4], q[1]),
                      g2 = _mm256_set_pd(q[11], q[8], q[5], q[2]);
        __m256d row[3];
        for (std::size_t r = 0; r < 3; ++r)
            row[r] = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(c[r], g0), _mm256_mul_pd(c[r + 3], g1)),
                                   _mm256_mul_pd(c[r + 6], g2));
        const __m256d w = row[2];
        const __m256d regular = _mm256_and_pd(_mm256_cmp_pd(_mm256_and_pd(w, magnitude), infinity, _CMP_LT_OQ),
                                              _mm256_cmp_pd(w, zero, _CMP_NEQ_OQ));
        if (_mm256_movemask_pd(regular) != 0xf) break;
        _mm256_store_pd(i, _mm256_div_pd(row[0], w));
        _mm256_store_pd(j, _mm256_div_pd(row[1], w));
        for (std::size_t k = 0; k < 4; ++k) {
            o[3 * (m + k)] = i[k];
            o[3 * (m + k) + 1] = j[k];
            o[3 * (m + k) + 2] = 1.0;
        }
    }
    return m;
}
#endif

void mapGrid(const double* h, const double* g, double* o, std::size_t n) {
    std::size_t m = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (mlx::tool::hasAvx2()) m = mapFourAtATime(h, g, o, n);
#endif
    for (; m < n; ++m) mapOne(h, g + 3 * m, o + 3 * m);
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
    // The grid mapped and normalised as homog::applyto and normalize_h do it, value for value,
    // then the part of the binned frame the points read.
    const mlx::geometry::homog M = fromFrame() * H;
    const std::size_t n = grid.cols();
    points.resize(3, n);
    mapGrid(M.mat().data(), grid.data(), points.data(), n);
    const double rowsBinned = static_cast<double>(frame.rows() / 2), colsBinned = static_cast<double>(frame.cols() / 2);
    bounds b;
    for (std::size_t m = 0; m < n; ++m) b.add(points(0, m), points(1, m), rowsBinned, colsBinned);
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
