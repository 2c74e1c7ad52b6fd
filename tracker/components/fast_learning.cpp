#include "tracker/components/fast_learning.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <type_traits>

#include "mlx/alg/pinv.hpp"
#include "mlx/alg/ridge.hpp"
#include "mlx/xpr/reductions.hpp"

namespace track {

void choleskyFit::fit(unsigned, const mlx::matrix<double>& deltaI, const mlx::matrix<double>& deltaP, double ridge,
                      mlx::matrix<double>& model) {
    const mlx::ridgefactor factor(deltaI, ridge, rcondFloor);
    if (factor.rcond() >= rcondFloor)
        model = factor.solve(deltaI, deltaP);
    else
        model = ridge > 0.0 ? mlx::ridgeprod(deltaI, deltaP, ridge) : mlx::pinvprod(deltaI, deltaP);
}

double symmetricWidthSearch::find(const mlx::matrix<double>& X, double width0, mlx::matrix<double>& distances) {
    kernel::dist2(X, X, distances);
    const std::size_t n = distances.rows();
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j + 1; i < n; ++i)
            if (distances(i, j) != distances(j, i)) return kernel::findWidth(X, width0);
    return kernel::findWidth(criterion(distances, values, spread), width0);
}

// The plain criterion: minus the standard deviation of the columns' standard deviations, each
// column reduced as mlx::stdev reduces it, its values above the diagonal read from the row below.
double symmetricWidthSearch::criterion::operator()(double const& width) const {
    const std::size_t n = D.rows();
    const double w2 = width * width;
    values.resize(n, n);
    for (std::size_t j = 0; j < n; ++j) {
        const double* d = D.data() + j * n;
        double* e = values.data() + j * n;
        for (std::size_t i = j; i < n; ++i) e[i] = std::exp(-d[i] / w2);
    }
    // mlx::stdev's sums, four columns at a time: four independent chains of additions instead of
    // one, each in the plain order.
    spread.resize(1, n);
    const double count = static_cast<double>(n);
    const double* v = values.data();
    const auto columns = [&](std::size_t j, auto g) {
        constexpr std::size_t G = decltype(g)::value;
        const auto at = [&](std::size_t i, std::size_t c) { return i >= j + c ? v[(j + c) * n + i] : v[i * n + j + c]; };
        double sum[G] = {}, squares[G] = {}, mean[G];
        for (std::size_t i = 0; i < j; ++i)
            for (std::size_t c = 0; c < G; ++c) sum[c] += v[i * n + j + c];
        for (std::size_t i = j; i < j + G; ++i)
            for (std::size_t c = 0; c < G; ++c) sum[c] += at(i, c);
        for (std::size_t i = j + G; i < n; ++i)
            for (std::size_t c = 0; c < G; ++c) sum[c] += v[(j + c) * n + i];
        for (std::size_t c = 0; c < G; ++c) mean[c] = sum[c] / count;
        const auto add = [&](std::size_t c, double value) {
            const double d = std::abs(value - mean[c]);
            squares[c] += d * d;
        };
        for (std::size_t i = 0; i < j; ++i)
            for (std::size_t c = 0; c < G; ++c) add(c, v[i * n + j + c]);
        for (std::size_t i = j; i < j + G; ++i)
            for (std::size_t c = 0; c < G; ++c) add(c, at(i, c));
        for (std::size_t i = j + G; i < n; ++i)
            for (std::size_t c = 0; c < G; ++c) add(c, v[(j + c) * n + i]);
        for (std::size_t c = 0; c < G; ++c) spread(j + c) = std::sqrt(squares[c] / (count - 1.0));
    };
    std::size_t j = 0;
    for (; j + 4 <= n; j += 4) columns(j, std::integral_constant<std::size_t, 4>());
    for (; j < n; ++j) columns(j, std::integral_constant<std::size_t, 1>());
    return -mlx::stdev(spread, false, 0)(0);
}

void relevanceScreen::visit(std::size_t n,
                            const std::function<double(std::size_t, AppRVM::factors&, AppRVM::factors&)>& factorsOf,
                            const std::function<double(std::size_t)>& change) {
    constexpr double unbounded = std::numeric_limits<double>::infinity();
    bounds.resize(n);
    AppRVM::factors s{}, q{};
    for (std::size_t i = 0; i < n; ++i) {
        double bound = 0.0, size = 0.0;
        if (factorsOf(i, s, q) < AppRVM::maxAlpha) {
            bound = unbounded;
        } else {
            for (std::size_t p = 0; p < s.size() && bound < unbounded; ++p) {
                const double x = q[p] * q[p] / s[p];
                if (!(s[p] > 0.0) || !std::isfinite(x)) bound = unbounded;
                else if (x > 1.0) bound += x - 1.0 - std::log(x);
                size += x + 1.0;
            }
        }
        // The change as computed rounds terms of up to this size.
        bounds[i] = bound + 1e-10 * size;
    }
    order.resize(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return bounds[a] > bounds[b]; });
    double best = -unbounded;
    for (std::size_t i : order) {
        if (bounds[i] < best) break;
        best = std::max(best, change(i));
    }
}

}  // namespace track
