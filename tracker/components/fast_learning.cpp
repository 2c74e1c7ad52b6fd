#include "tracker/components/fast_learning.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <type_traits>

#include "mlx/alg/lapack.hpp"
#include "mlx/alg/pinv.hpp"
#include "mlx/alg/ridge.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "mlx/xpr/expscaled.hpp"
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

void refinedWeights::solve(const mlx::matrix<double>& gram, const mlx::matrix<double>& deltaP,
                           mlx::matrix<double>& weights) {
    const mlx::ridgefactor factor(gram, 0.0, rcondFloor);
    if (!(factor.rcond() >= rcondFloor)) {
        weights = mlx::pinvprod(gram, deltaP);
        return;
    }
    weights = factor.solve(gram, deltaP);
    // Refined until a step no longer halves the last: the change is then rounding's.
    double last = std::numeric_limits<double>::infinity();
    for (unsigned step = 0; step < maxSteps; ++step) {
        const mlx::matrix<double> change = factor.solve(gram, deltaP - gram * weights);
        weights = weights + change;
        const double size = mlx::globalNorm_eucl(change);
        if (!(size < 0.5 * last)) break;
        last = size;
    }
}

namespace {

// The squared distances between X's rows from the lower triangle of X X^T (dsyrk, half the work
// of the general product), each row's squared norm read on its diagonal, which makes the
// distance of a row to itself exactly 0; the upper triangle mirrored in blocks that stay in cache.
void squaredDistances(const mlx::matrix<double>& X, mlx::matrix<double>& D) {
    const std::size_t n = X.rows();
    D.resize(n, n);
    if (n == 0) return;
    mlx::alg::lapack::syrk('L', 'N', n, X.cols(), X.data(), n, D.data(), n);
    for (std::size_t j = 0; j < n; ++j) {
        const double own = D(j, j);
        for (std::size_t i = j + 1; i < n; ++i) D(i, j) = D(i, i) + own - 2.0 * D(i, j);
    }
    for (std::size_t j = 0; j < n; ++j) D(j, j) = 0.0;
    constexpr std::size_t tile = 32;
    for (std::size_t jt = 0; jt < n; jt += tile)
        for (std::size_t it = 0; it <= jt; it += tile)
            for (std::size_t j = jt; j < std::min(n, jt + tile); ++j)
                for (std::size_t i = it; i < std::min(j, it + tile); ++i) D(i, j) = D(j, i);
}

}  // namespace

double symmetricWidthSearch::find(const mlx::matrix<double>& X, double width0, mlx::matrix<double>& distances) {
    squaredDistances(X, distances);
    return kernel::findWidth(criterion(distances, *this), width0);
}

namespace {

// Four running sums in fixed lanes, added pairwise at the end: the compiler keeps them in vector
// registers without reordering a single addition.
struct lanes4 {
    double lane[4] = {};
    double total() const { return (lane[0] + lane[1]) + (lane[2] + lane[3]); }
};

// Column j's values e[0..m) of the kernel's triangle (e[0] on the diagonal): f(e) summed down
// the column is returned, and g(e, i) added to the running sum of row j + i below the diagonal.
template <class F, class G>
[[gnu::always_inline]] inline double down(const double* e, std::size_t m, double* rows, F f, G g) {
    lanes4 own;
    std::size_t i = 1;
    for (; i + 4 <= m; i += 4)
        for (std::size_t l = 0; l < 4; ++l) {
            own.lane[l] += f(e[i + l]);
            rows[i + l] += g(e[i + l], i + l);
        }
    double rest = f(e[0]);
    for (; i < m; ++i) {
        rest += f(e[i]);
        rows[i] += g(e[i], i);
    }
    return rest + own.total();
}

}  // namespace

double symmetricWidthSearch::criterion::operator()(double const& width) const {
    const std::size_t n = D.rows();
    const double scale = -1.0 / (width * width);
    mlx::matrix<double>& mean = buffers.means;
    mlx::matrix<double>& spread = buffers.spreads;
    buffers.values.resize(n * (n + 1) / 2, 1);
    mean.resize(1, n);
    spread.resize(1, n);
    std::fill(mean.begin(), mean.end(), 0.0);
    std::fill(spread.begin(), spread.end(), 0.0);
    const auto value = [](double x) { return x; };
    double* e = buffers.values.data();
    for (std::size_t j = 0; j < n; e += n - j, ++j) {
        mlx::expscaled(D.data() + j * n + j, scale, e, n - j);
        mean(j) += down(e, n - j, mean.data() + j, value, [](double x, std::size_t) { return x; });
    }
    for (double& m : mean) m /= static_cast<double>(n);
    e = buffers.values.data();
    for (std::size_t j = 0; j < n; e += n - j, ++j) {
        const double mj = mean(j);
        const double* mi = mean.data() + j;
        spread(j) += down(e, n - j, spread.data() + j, [mj](double x) { return (x - mj) * (x - mj); },
                          [mi](double x, std::size_t i) { return (x - mi[i]) * (x - mi[i]); });
    }
    for (double& s : spread) s = std::sqrt(s / (static_cast<double>(n) - 1.0));
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
