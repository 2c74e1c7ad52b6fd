// Learning as a host pays for it: every method through the session with the shipped defaults, per
// region size and sample count, beside the stages of jd's learning of one level measured alone
// (drawing the perturbations, warping and sampling, normalising, and each fit the components ask).

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "host/sequence.hpp"
#include "mlx/alg/pinv.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/alg/ridge.hpp"
#include "mlx/array/as_hindex.hpp"
#include "mlx/geometry/homog.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "tracker/components/fast_learning.hpp"
#include "tracker/components/session.hpp"
#include "tracker/kernel.hpp"
#include "tracker/learning.hpp"

namespace {

// The demo's textured plane on a 480 x 360 frame, its region `side` pixels wide.
struct scene {
    mlx::matrix<unsigned char> image;
    mlx::matrix<int, 12> corners;

    explicit scene(int side) : corners(3, 4) {
        host::SequenceOptions o;
        o.width = 480;
        o.height = 360;
        o.region = side;
        const host::Sequence sequence(o);
        const host::GreyImage first = sequence.frame(0);
        image.assign(first.pixels.data(), static_cast<std::size_t>(first.width), static_cast<std::size_t>(first.height));
        for (std::size_t j = 0; j < 4; ++j) {
            corners(0, j) = static_cast<int>(sequence.truth(0)[j].x);
            corners(1, j) = static_cast<int>(sequence.truth(0)[j].y);
            corners(2, j) = 1;
        }
    }
};

const char* const kMethods[] = {"jd", "jdk", "rvm"};

// Arguments: method (0 jd, 1 jdk, 2 rvm), the region's side in pixels, sample points.
void BM_LearnSession(benchmark::State& state) {
    const scene s(static_cast<int>(state.range(1)));
    ini::INIParser config;
    config.set("tracker", kMethods[state.range(0)]);
    config.set("nbpoints", std::to_string(state.range(2)));
    for (auto _ : state) {
        track::session t(s.corners, config, s.image);
        benchmark::DoNotOptimize(&t);
    }
    state.SetLabel(std::string(kMethods[state.range(0)]) + ", " + std::to_string(state.range(1)) + " px, " +
                   std::to_string(state.range(2)) + " points");
}
void learningSizes(benchmark::internal::Benchmark* b) {
    for (int side : {50, 100, 200})
        for (int points : {400, 1600}) {
            b->Args({0, side, points});
            b->Args({1, side, points});
        }
    for (int side : {50, 100, 200}) b->Args({2, side, 400});
}
BENCHMARK(BM_LearnSession)->Apply(learningSizes)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// One level of jd's defaults on the 100 px region: 800 perturbations of a 20 x 20 grid.
struct level {
    static constexpr std::size_t plans = 800, side = 20;
    const scene s{100};
    const mlx::matrix<double> square{{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    const mlx::geometry::homog H0{square, mlx::matrix<double>(s.corners), true};
    const mlx::matrix<double> grid = track::learning::gridOf(side);
    mlx::matrix<double> deltaI, deltaP;

    level() : deltaI(plans, side * side), deltaP(plans, 8) {
        mlx::matrix<double> points, samples, pattern;
        for (std::size_t p = 0; p < plans; ++p) {
            const mlx::matrix<double> D = (mlx::rand(2, 4) - 0.5) * 0.2;
            (H0 * perturbed(D)).applyto(grid, points);
            mlx::geometry::normalize_h(points);
            mlx::as_hindex(s.image, points, samples);
            track::learning::standardize(samples, pattern);
            for (std::size_t m = 0; m < side * side; ++m) deltaI(p, m) = pattern(m);
            for (std::size_t q = 0; q < 8; ++q) deltaP(p, q) = D(q);
        }
    }
    mlx::geometry::homog perturbed(const mlx::matrix<double>& D) const {
        mlx::matrix<double, 12> moved(square);
        for (std::size_t c = 0; c < 4; ++c) {
            moved(0, c) -= D(0, c);
            moved(1, c) -= D(1, c);
        }
        return mlx::geometry::homog(square, moved, true);
    }
};

const level& oneLevel() {
    static const level l;
    return l;
}

void BM_Stage_DrawPerturbations(benchmark::State& state) {
    const level& l = oneLevel();
    for (auto _ : state)
        for (std::size_t p = 0; p < level::plans; ++p) {
            const mlx::matrix<double> D = (mlx::rand(2, 4) - 0.5) * 0.2;
            benchmark::DoNotOptimize(l.perturbed(D));
        }
}
BENCHMARK(BM_Stage_DrawPerturbations)->Unit(benchmark::kMillisecond);

// The same draws with each transform in closed form, as the fast paths form it.
void BM_Stage_DrawPerturbationsClosedForm(benchmark::State& state) {
    const level& l = oneLevel();
    mlx::matrix<double, 12> moved(l.square);
    for (auto _ : state)
        for (std::size_t p = 0; p < level::plans; ++p) {
            const mlx::matrix<double> D = (mlx::rand(2, 4) - 0.5) * 0.2;
            for (std::size_t c = 0; c < 4; ++c) {
                moved(0, c) = l.square(0, c) - D(0, c);
                moved(1, c) = l.square(1, c) - D(1, c);
            }
            benchmark::DoNotOptimize(mlx::geometry::unitSquareTo(moved));
        }
}
BENCHMARK(BM_Stage_DrawPerturbationsClosedForm)->Unit(benchmark::kMillisecond);

void BM_Stage_WarpAndSample(benchmark::State& state) {
    const level& l = oneLevel();
    const mlx::geometry::homog Hp = l.perturbed((mlx::rand(2, 4) - 0.5) * 0.2);
    mlx::matrix<double> points, samples;
    for (auto _ : state)
        for (std::size_t p = 0; p < level::plans; ++p) {
            (l.H0 * Hp).applyto(l.grid, points);
            mlx::geometry::normalize_h(points);
            mlx::as_hindex(l.s.image, points, samples);
            benchmark::DoNotOptimize(samples.data());
        }
}
BENCHMARK(BM_Stage_WarpAndSample)->Unit(benchmark::kMillisecond);

void BM_Stage_Normalise(benchmark::State& state) {
    const level& l = oneLevel();
    mlx::matrix<double> samples(1, level::side * level::side), pattern;
    for (std::size_t m = 0; m < samples.numel(); ++m) samples(m) = static_cast<double>((m * 37) % 251);
    for (auto _ : state)
        for (std::size_t p = 0; p < level::plans; ++p) {
            track::learning::standardize(samples, pattern);
            benchmark::DoNotOptimize(pattern.data());
        }
    benchmark::DoNotOptimize(&l);
}
BENCHMARK(BM_Stage_Normalise)->Unit(benchmark::kMillisecond);

// The fits: the plain method's pseudo-inverse, the sensor ridge's, and the occlusion refit's
// inverse with the model through it (what the shipped jd does).
void BM_Stage_FitPinv(benchmark::State& state) {
    const level& l = oneLevel();
    for (auto _ : state) benchmark::DoNotOptimize(mlx::pinvprod(l.deltaI, l.deltaP).data());
}
void BM_Stage_FitRidge(benchmark::State& state) {
    const level& l = oneLevel();
    for (auto _ : state) benchmark::DoNotOptimize(mlx::ridgeprod(l.deltaI, l.deltaP, 2.0).data());
}
void BM_Stage_FitRidgeInverse(benchmark::State& state) {
    const level& l = oneLevel();
    for (auto _ : state) {
        const mlx::matrix<double> G = mlx::ridgeinv(l.deltaI, 2.0);
        benchmark::DoNotOptimize((G * mlx::prodtMM(l.deltaI, l.deltaP)).data());
    }
}
// The fast paths: the sensor ridge's model through the Cholesky factor (what the shipped jd
// learns), and the occlusion refit's inverse formed from that factor on its first hidden frame.
void BM_Stage_FitCholesky(benchmark::State& state) {
    const level& l = oneLevel();
    for (auto _ : state) {
        const mlx::ridgefactor f(l.deltaI, 2.0, track::choleskyFit::rcondFloor);
        benchmark::DoNotOptimize(f.solve(l.deltaI, l.deltaP).data());
    }
}
// (with a copy of the factor, which the inversion overwrites)
void BM_Stage_InverseFromCholesky(benchmark::State& state) {
    const level& l = oneLevel();
    const mlx::ridgefactor f(l.deltaI, 2.0, track::choleskyFit::rcondFloor);
    for (auto _ : state) {
        mlx::ridgefactor g = f;
        benchmark::DoNotOptimize(g.inverse().data());
    }
}
BENCHMARK(BM_Stage_FitPinv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_FitRidge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_FitRidgeInverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_FitCholesky)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_InverseFromCholesky)->Unit(benchmark::kMillisecond);

// The kernel learners' width search on one level's differences.
void BM_Stage_KernelWidthSearch(benchmark::State& state) {
    const level& l = oneLevel();
    for (auto _ : state) benchmark::DoNotOptimize(track::kernel::findWidth(l.deltaI, 1.0));
}
BENCHMARK(BM_Stage_KernelWidthSearch)->Unit(benchmark::kMillisecond);

// The same search on one symmetric distance matrix (the kernel learners' fast path).
void BM_Stage_KernelWidthSearchSymmetric(benchmark::State& state) {
    const level& l = oneLevel();
    track::symmetricWidthSearch search;
    mlx::matrix<double> distances;
    for (auto _ : state) benchmark::DoNotOptimize(search.find(l.deltaI, 1.0, distances));
}
BENCHMARK(BM_Stage_KernelWidthSearchSymmetric)->Unit(benchmark::kMillisecond);

// jdk's weights for the level's 800 x 200 kernel matrix: the pseudo-inverse's (the plain method),
// and the refined normal equations' (the fast path).
const mlx::matrix<double>& kernelMatrix() {
    static const mlx::matrix<double> gram = [] {
        const level& l = oneLevel();
        return track::kernel::sbl_kernelFunction(l.deltaI, l.deltaI(mlx::AllTo(199), mlx::All), 1.0);
    }();
    return gram;
}
void BM_Stage_KernelWeightsPinv(benchmark::State& state) {
    const level& l = oneLevel();
    for (auto _ : state) benchmark::DoNotOptimize(mlx::pinvprod(kernelMatrix(), l.deltaP).data());
}
void BM_Stage_KernelWeightsRefined(benchmark::State& state) {
    const level& l = oneLevel();
    track::refinedWeights solver;
    mlx::matrix<double> weights;
    for (auto _ : state) {
        solver.solve(kernelMatrix(), l.deltaP, weights);
        benchmark::DoNotOptimize(weights.data());
    }
}
BENCHMARK(BM_Stage_KernelWeightsPinv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_KernelWeightsRefined)->Unit(benchmark::kMillisecond);

}  // namespace
